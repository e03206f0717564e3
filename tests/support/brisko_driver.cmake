# The e2e driver: starts the real Brisko.exe and drives it from the test's process.
get_target_property(brisko_build_dir Brisko BINARY_DIR)
file(RELATIVE_PATH brisko_exe_in_build ${CMAKE_BINARY_DIR} ${brisko_build_dir}/Brisko.exe)
file(RELATIVE_PATH trace_kit_in_build ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR}/trace_kit.exe)
add_library(brisko_driver STATIC ${CMAKE_CURRENT_LIST_DIR}/brisko_driver.cpp)
target_compile_options(brisko_driver PRIVATE ${BRISKO_WARNINGS})
target_compile_definitions(brisko_driver PRIVATE BRISKO_EXE_IN_BUILD="${brisko_exe_in_build}"
  TRACE_KIT_IN_BUILD="${trace_kit_in_build}")
target_link_libraries(brisko_driver PUBLIC brisko_trace_kit shell32 shlwapi user32)
add_dependencies(brisko_driver Brisko trace_kit)

# brisko_e2e_test(NAME SOURCES ... [LIBS ...] [ARGS ...] [TIMEOUT s]): a GoogleTest executable that drives Brisko.
# Brisko instances share one settings file, one Run value and one tray: such tests never run at once.
function(brisko_e2e_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;ARGS" ${ARGN})
  set(extra)
  if(T_TIMEOUT)
    list(APPEND extra TIMEOUT ${T_TIMEOUT})
  endif()
  if(T_ARGS)
    list(APPEND extra ARGS ${T_ARGS})
  endif()
  brisko_test(${name} SOURCES ${T_SOURCES} LIBS brisko_driver ${T_LIBS} ${extra})
  set_property(TEST ${name} APPEND PROPERTY RESOURCE_LOCK brisko_instance)
endfunction()

# The screenshot helper of scripts/run.
add_executable(brisko_snap ${CMAKE_CURRENT_LIST_DIR}/brisko_snap.cpp)
target_compile_options(brisko_snap PRIVATE ${BRISKO_WARNINGS})
target_link_libraries(brisko_snap PRIVATE brisko_driver)
