brisko_test(unit_sandbox SOURCES ${CMAKE_CURRENT_LIST_DIR}/sandbox_test.cpp LIBS shell32)
