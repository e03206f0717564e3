# The real Brisko.exe cleans the trace kit's traces: every step at once, each step alone, and none.
brisko_e2e_test(e2e_clean SOURCES ${CMAKE_CURRENT_LIST_DIR}/clean_e2e_test.cpp)
# The link canaries come from the host; whatever else seeds or wipes the traces must wait.
set_property(TEST e2e_clean APPEND PROPERTY FIXTURES_REQUIRED trace_links)
set_property(TEST e2e_clean APPEND PROPERTY RESOURCE_LOCK sandbox_traces)
# The run watched from outside: a hook that stops Brisko at each status text until the test has read it.
add_library(status_hook SHARED ${CMAKE_CURRENT_LIST_DIR}/status_hook.cpp)
set_target_properties(status_hook PROPERTIES PREFIX "")
target_compile_options(status_hook PRIVATE ${BRISKO_WARNINGS})
target_link_options(status_hook PRIVATE -static-libgcc -static-libstdc++)
target_link_libraries(e2e_clean PRIVATE status_hook)
