brisko_test(unit_framework
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/framework_test.cpp ${CMAKE_CURRENT_LIST_DIR}/framework_test.rc
  LIBS brisko_framework)
