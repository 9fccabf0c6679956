# Plot page: series storage, label layout and value ticks without widgets; the page
# itself offscreen, driven as a user would and read back from rendered pixels.
add_executable(test_plot_core ${CMAKE_CURRENT_LIST_DIR}/test_plot_core.cpp)
target_link_libraries(test_plot_core PRIVATE nocturo_core GTest::gtest_main)
gtest_discover_tests(test_plot_core TEST_PREFIX "plot." DISCOVERY_MODE PRE_TEST)
