# The application shell: the settings codec, the window's rules and a run on the real main dialog.
brisko_test(unit_app SOURCES ${CMAKE_CURRENT_LIST_DIR}/app_test.cpp ${CMAKE_SOURCE_DIR}/res/brisko.rc
  LIBS brisko_app brisko_driver comctl32)
# It opens Brisko's own dialog, which reads and saves the shared settings file.
set_tests_properties(unit_app PROPERTIES RESOURCE_LOCK brisko_instance)
