# The real Brisko.exe cleans the trace kit's traces: every step at once, each step alone, and none;
# one test a case. The link canaries come from the host; whatever else seeds or wipes the traces
# waits, and no other Brisko instance runs meanwhile.
brisko_test_cases(e2e_clean SOURCES ${CMAKE_CURRENT_LIST_DIR}/clean_e2e_test.cpp LIBS brisko_driver status_hook
  FIXTURES trace_links LOCKS brisko_instance sandbox_traces)
# The run watched from outside: a hook that stops Brisko at each status text until the test has read it.
add_library(status_hook SHARED ${CMAKE_CURRENT_LIST_DIR}/status_hook.cpp)
set_target_properties(status_hook PROPERTIES PREFIX "")
target_compile_options(status_hook PRIVATE ${BRISKO_WARNINGS})
target_link_options(status_hook PRIVATE -static-libgcc -static-libstdc++)
