# Plot page: series storage, label layout and value ticks without widgets; the page
# itself offscreen, driven as a user would and read back from rendered pixels.
add_executable(test_plot_core ${CMAKE_CURRENT_LIST_DIR}/test_plot_core.cpp)
target_link_libraries(test_plot_core PRIVATE nocturo_core GTest::gtest_main)
gtest_discover_tests(test_plot_core TEST_PREFIX "plot." DISCOVERY_MODE PRE_TEST)

add_executable(test_plot_page ${CMAKE_CURRENT_LIST_DIR}/test_plot_page.cpp
                              ${CMAKE_CURRENT_LIST_DIR}/plot_rig.h)
target_link_libraries(test_plot_page PRIVATE nocturo_window nocturo_sensor_fake Qt6::Test GTest::gtest)
gtest_discover_tests(test_plot_page TEST_PREFIX "plot." DISCOVERY_MODE PRE_TEST
                     PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)

# Not a test: renders the page to PNG files to look at.
add_executable(plot_screenshots ${CMAKE_CURRENT_LIST_DIR}/plot_screenshots.cpp)
target_link_libraries(plot_screenshots PRIVATE nocturo_window nocturo_sensor_fake Qt6::Test)
