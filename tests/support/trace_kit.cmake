# The trace kit: seeds every trace the cleaning steps remove, and the canaries that must survive.
add_library(brisko_trace_kit STATIC
  ${CMAKE_CURRENT_LIST_DIR}/trace_kit_files.cpp)
target_compile_options(brisko_trace_kit PRIVATE ${BRISKO_WARNINGS})
target_link_libraries(brisko_trace_kit PUBLIC shlwapi shell32 advapi32 wininet ole32)
