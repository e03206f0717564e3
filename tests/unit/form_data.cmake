brisko_test(unit_form_data SOURCES ${CMAKE_CURRENT_LIST_DIR}/form_data_test.cpp LIBS brisko_clean shell32 shlwapi advapi32)
