# The application shell: the settings file, the window's rules and the resources as built.
brisko_test(unit_app
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/app_settings_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/app_rules_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/app_resources_test.cpp
          ${CMAKE_SOURCE_DIR}/res/brisko.rc
  LIBS brisko_app)
