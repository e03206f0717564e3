# The hyperlink control in Brisko's own dialog template.
brisko_test(unit_link SOURCES ${CMAKE_CURRENT_LIST_DIR}/link_test.cpp ${CMAKE_SOURCE_DIR}/res/brisko.rc LIBS brisko_controls)
