# The web-address link in the real window: its tooltip, and a click that no browser can answer.
brisko_e2e_test(e2e_link SOURCES ${CMAKE_CURRENT_LIST_DIR}/link_e2e_test.cpp)
# A .htm association left by the link unit tests would answer the click.
set_property(TEST e2e_link APPEND PROPERTY RESOURCE_LOCK sandbox_htm_association)
