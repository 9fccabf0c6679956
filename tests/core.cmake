add_executable(test_cycle test_cycle.cpp test_pass_driver.cpp)
target_include_directories(test_cycle PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support)
target_link_libraries(test_cycle PRIVATE nocturo_core nocturo_sensor_fake GTest::gtest_main)
gtest_discover_tests(test_cycle)
