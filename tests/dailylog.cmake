# Daily log: day files, saves, roll-over, the rule that keeps every line a file holds,
# termination signals, and the window's start-up and shut-down around the log.
add_executable(test_daily_log ${CMAKE_CURRENT_LIST_DIR}/test_daily_log.cpp
                              ${CMAKE_CURRENT_LIST_DIR}/DayFileTest.cpp)
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
set_tests_properties(dailylog.SigtermSavesTheLog PROPERTIES TIMEOUT 60)

# The real program where today's day file is a named pipe, a link to a device, a directory,
# a file too large for a day file, or the largest day file that is loaded: it runs at once,
# SIGTERM ends it at once, and what stood in the file's place is left as it was.
foreach(case fifo device directory oversize largest)
    add_test(NAME dailylog.Hostile_${case}
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/hostile_day_files.sh $<TARGET_FILE:nocturo> ${case})
    set_tests_properties(dailylog.Hostile_${case} PROPERTIES TIMEOUT 60)
endforeach()
