# Included by CTest as it starts: one test per GoogleTest case of `exe`, named <name>.<Suite>.<Case> and
# run through `run` (the sandbox); the list of them in `tests`. The executable lists its own cases, in
# the sandbox, once after each build (`listing` keeps the list); where it cannot, it runs as one test.
if(NOT EXISTS "${listing}" OR "${exe}" IS_NEWER_THAN "${listing}")
  execute_process(COMMAND ${run} "${exe}" --gtest_list_tests OUTPUT_VARIABLE cases RESULT_VARIABLE failed
                  TIMEOUT 900)
  file(REMOVE "${listing}")
  if(NOT failed)
    string(REPLACE "\r" "" cases "${cases}")
    file(WRITE "${listing}" "${cases}")
  endif()
endif()
set(tests)
if(EXISTS "${listing}")
  file(STRINGS "${listing}" lines)
  foreach(line IN LISTS lines)
    if(line MATCHES "^([A-Za-z0-9_/]+)\\.$")
      set(suite ${CMAKE_MATCH_1})
    elseif(line MATCHES "^  ([A-Za-z0-9_/]+)")
      add_test(${name}.${suite}.${CMAKE_MATCH_1} ${run} "${exe}" --gtest_color=no
               --gtest_filter=${suite}.${CMAKE_MATCH_1})
      list(APPEND tests ${name}.${suite}.${CMAKE_MATCH_1})
    endif()
  endforeach()
endif()
if(NOT tests)
  add_test(${name} ${run} "${exe}" --gtest_color=no)
  set(tests ${name})
endif()
