# The cleaning engine: the wiper, the URL-cache purge and the steps on real trees, keys and entries.
brisko_test(unit_clean
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/clean_url_cache_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/clean_wiper_test.cpp
  LIBS brisko_clean brisko_trace_kit)
# A process of their own: once the cache folder is wiped, WinINet cannot add entries in that process.
brisko_test(unit_clean_steps
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/clean_steps_test.cpp
  LIBS brisko_clean brisko_trace_kit)

# Wine cannot make links, so the host makes the tree the link test wipes, fresh for every run.
add_test(NAME unit_clean_links
  COMMAND sh -c "rm -rf clean_links && mkdir -p clean_links/target/sub clean_links/outside clean_links/outside_empty && echo keep >clean_links/outside/keep.txt && ln -s ../outside clean_links/target/linked_full && ln -s ../outside_empty clean_links/target/linked_empty && ln -s ../../outside clean_links/target/sub/linked"
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
set_tests_properties(unit_clean_links PROPERTIES FIXTURES_SETUP clean_links)
set_tests_properties(unit_clean PROPERTIES FIXTURES_REQUIRED "sandbox;clean_links")

# The run on the real main dialog.
brisko_test(unit_clean_run
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/clean_run_test.cpp ${CMAKE_SOURCE_DIR}/res/brisko.rc
  LIBS brisko_app brisko_trace_kit comctl32)
