# The application shell driven from outside: window, settings, tray, start-up entry, timers.
brisko_e2e_test(e2e_app SOURCES ${CMAKE_CURRENT_LIST_DIR}/app_e2e_test.cpp ${CMAKE_CURRENT_LIST_DIR}/app_e2e.h)
# The auto-clear timer in real minutes: slow, so it stands apart.
brisko_e2e_test(e2e_app_timer SOURCES ${CMAKE_CURRENT_LIST_DIR}/app_timer_e2e_test.cpp ${CMAKE_CURRENT_LIST_DIR}/app_e2e.h)
