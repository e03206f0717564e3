# The cleaning engine where the end-to-end runs cannot see: index-file bytes, what the wipe must not
# touch, the rights it runs on, the history step's zero-fill and a DACL walk past a failing subkey.
brisko_test(unit_clean SOURCES ${CMAKE_CURRENT_LIST_DIR}/clean_wiper_test.cpp LIBS brisko_app brisko_clean brisko_trace_kit)
set_tests_properties(unit_clean PROPERTIES FIXTURES_REQUIRED "sandbox;trace_links")
# It seeds the trace kit's traces and runs steps on them.
set_property(TEST unit_clean APPEND PROPERTY RESOURCE_LOCK sandbox_traces)
