# The web-address link in the real window: its tooltip, and a click that no browser answers or that
# the ".htm" association's command (link_tool) answers.
add_executable(link_tool ${CMAKE_CURRENT_LIST_DIR}/link_tool.cpp)
target_compile_options(link_tool PRIVATE ${BRISKO_WARNINGS})
target_link_libraries(link_tool PRIVATE brisko_trace_kit)
get_target_property(link_tool_dir link_tool BINARY_DIR)
file(RELATIVE_PATH link_tool_in_build ${CMAKE_BINARY_DIR} ${link_tool_dir}/link_tool.exe)
brisko_e2e_test(e2e_link SOURCES ${CMAKE_CURRENT_LIST_DIR}/link_e2e_test.cpp)
target_compile_definitions(e2e_link PRIVATE LINK_TOOL_IN_BUILD="${link_tool_in_build}")
add_dependencies(e2e_link link_tool)
