add_executable(bench_cycle bench_cycle.cpp)
target_include_directories(bench_cycle PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(bench_cycle PRIVATE nocturo_core nocturo_sensor_fake benchmark::benchmark_main)
