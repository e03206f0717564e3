# The hyperlink control's arithmetic and failure texts.
brisko_test(unit_link SOURCES ${CMAKE_CURRENT_LIST_DIR}/link_test.cpp LIBS brisko_controls)
