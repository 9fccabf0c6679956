# Daily log: day files, saves, roll-over, the rule that keeps every line a file holds,
# termination signals, and the window's start-up and shut-down around the log.
add_executable(test_daily_log ${CMAKE_CURRENT_LIST_DIR}/test_daily_log.cpp)
target_link_libraries(test_daily_log PRIVATE nocturo_core GTest::gtest_main)
gtest_discover_tests(test_daily_log TEST_PREFIX "dailylog." DISCOVERY_MODE PRE_TEST)

add_executable(test_daily_log_property ${CMAKE_CURRENT_LIST_DIR}/test_daily_log_property.cpp)
target_link_libraries(test_daily_log_property PRIVATE nocturo_core nocturo_sensor_fake
                                                      GTest::gtest_main)
gtest_discover_tests(test_daily_log_property TEST_PREFIX "dailylog." DISCOVERY_MODE PRE_TEST)

add_executable(test_daily_log_window ${CMAKE_CURRENT_LIST_DIR}/test_daily_log_window.cpp)
target_link_libraries(test_daily_log_window PRIVATE nocturo_window nocturo_sensor_fake GTest::gtest)
gtest_discover_tests(test_daily_log_window TEST_PREFIX "dailylog." DISCOVERY_MODE PRE_TEST
                     PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)

# The real program, without a sensor, ended by SIGTERM.
add_test(NAME dailylog.SigtermSavesTheLog
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/sigterm_saves_log.sh $<TARGET_FILE:nocturo>)
# It waits for the program's SIGTERM handler in /proc; under qemu-user that shows the
# emulator's own handlers, so the test runs on the build machine's architecture only.
set_tests_properties(dailylog.SigtermSavesTheLog PROPERTIES TIMEOUT 60 LABELS native-only)
