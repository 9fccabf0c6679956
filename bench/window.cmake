# The window's share of a pass (status bar refresh) and the Data page with a full day.
add_executable(bench_window ${CMAKE_CURRENT_LIST_DIR}/bench_window.cpp)
target_link_libraries(bench_window PRIVATE nocturo_window nocturo_sensor_fake benchmark::benchmark)
