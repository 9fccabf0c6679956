# Daily log: load of a full day, append of one line, one save of a full day to disk.
add_executable(bench_dailylog ${CMAKE_CURRENT_LIST_DIR}/bench_dailylog.cpp)
target_link_libraries(bench_dailylog PRIVATE nocturo_core benchmark::benchmark_main)
