# Cost of one daily-log line, made once a second.
add_executable(bench_formats ${CMAKE_CURRENT_LIST_DIR}/bench_formats.cpp)
target_link_libraries(bench_formats PRIVATE nocturo_core benchmark::benchmark_main)
