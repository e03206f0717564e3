# The application shell driven from outside: window, settings, tray, start-up entry, timers, About.
brisko_e2e_test(e2e_app SOURCES ${CMAKE_CURRENT_LIST_DIR}/app_e2e_test.cpp ARGS --gtest_filter=-*RealTime*)
# Its test of the auto-clear timer in real minutes is slow, so it stands apart.
add_test(NAME e2e_app_timer COMMAND e2e_app --gtest_color=no --gtest_filter=*RealTime*)
set_tests_properties(e2e_app_timer PROPERTIES FIXTURES_REQUIRED sandbox RESOURCE_LOCK brisko_instance TIMEOUT 300)
