# The trace kit: seeds every trace the cleaning steps remove, and the canaries that must survive.
add_library(brisko_trace_kit STATIC
  ${CMAKE_CURRENT_LIST_DIR}/trace_kit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trace_kit_files.cpp)
target_compile_options(brisko_trace_kit PRIVATE ${BRISKO_WARNINGS})
target_link_libraries(brisko_trace_kit PUBLIC shlwapi shell32 advapi32 wininet ole32)

add_executable(trace_kit ${CMAKE_CURRENT_LIST_DIR}/trace_kit_tool.cpp)
target_compile_options(trace_kit PRIVATE ${BRISKO_WARNINGS})
target_link_libraries(trace_kit PRIVATE brisko_trace_kit)

# Tests that check the link canaries require this fixture: the host makes the links before them.
add_test(NAME trace_links COMMAND ${CMAKE_CURRENT_LIST_DIR}/trace_links.sh ${CMAKE_BINARY_DIR} $<TARGET_FILE:trace_kit>)
set_tests_properties(trace_links PROPERTIES FIXTURES_SETUP trace_links FIXTURES_REQUIRED sandbox TIMEOUT 120)
