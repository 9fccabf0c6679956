# Formats: date-time patterns, fixed-width numbers, log line, status texts, regional
# settings and the calibration number rule.
add_executable(test_formats ${CMAKE_CURRENT_LIST_DIR}/test_formats.cpp
                            ${CMAKE_CURRENT_LIST_DIR}/test_calibration_number.cpp)
target_link_libraries(test_formats PRIVATE nocturo_core GTest::gtest_main)
gtest_discover_tests(test_formats TEST_PREFIX "formats." DISCOVERY_MODE PRE_TEST)
