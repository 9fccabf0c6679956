# Daily log: day files, saves, roll-over, the rule that keeps every line a file holds,
# termination signals, and the window's start-up and shut-down around the log.
add_executable(test_daily_log ${CMAKE_CURRENT_LIST_DIR}/test_daily_log.cpp)
target_link_libraries(test_daily_log PRIVATE nocturo_core GTest::gtest_main)
gtest_discover_tests(test_daily_log TEST_PREFIX "dailylog." DISCOVERY_MODE PRE_TEST)

add_executable(test_daily_log_property ${CMAKE_CURRENT_LIST_DIR}/test_daily_log_property.cpp)
target_link_libraries(test_daily_log_property PRIVATE nocturo_core nocturo_sensor_fake
                                                      GTest::gtest_main)
gtest_discover_tests(test_daily_log_property TEST_PREFIX "dailylog." DISCOVERY_MODE PRE_TEST)
