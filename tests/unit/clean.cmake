# The cleaning engine: the wiper, the URL-cache purge and the steps on real trees, keys and entries.
brisko_test(unit_clean
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/clean_url_cache_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/clean_wiper_test.cpp
  LIBS brisko_clean brisko_trace_kit)
# A process of their own: once the cache folder is wiped, WinINet cannot add entries in that process.
brisko_test(unit_clean_steps
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/clean_steps_test.cpp
  LIBS brisko_clean brisko_trace_kit)

# The guard is tried on the host-made link to the profile.
set_tests_properties(unit_clean PROPERTIES FIXTURES_REQUIRED "sandbox;trace_links")

# The run on the real main dialog.
brisko_test(unit_clean_run
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/clean_run_test.cpp ${CMAKE_SOURCE_DIR}/res/brisko.rc
  LIBS brisko_app brisko_trace_kit comctl32)
