# The real Brisko.exe cleans the trace kit's traces: every step at once, each step alone, and none.
get_target_property(clean_kit_dir trace_kit BINARY_DIR)
file(RELATIVE_PATH clean_kit_in_build ${CMAKE_BINARY_DIR} ${clean_kit_dir}/trace_kit.exe)
brisko_e2e_test(e2e_clean SOURCES ${CMAKE_CURRENT_LIST_DIR}/clean_e2e_test.cpp LIBS brisko_trace_kit)
target_compile_definitions(e2e_clean PRIVATE TRACE_KIT_IN_BUILD="${clean_kit_in_build}")
add_dependencies(e2e_clean trace_kit)
# The link canaries come from the host; whatever else seeds or wipes the traces must wait.
set_property(TEST e2e_clean APPEND PROPERTY FIXTURES_REQUIRED trace_links)
set_property(TEST e2e_clean APPEND PROPERTY RESOURCE_LOCK sandbox_traces)
