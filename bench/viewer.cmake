# The viewer with full day files: reading, opening and stepping nights, replots while
# zooming, a week's memory, and the command-line export with process start.
add_executable(bench_viewer ${CMAKE_CURRENT_LIST_DIR}/bench_viewer.cpp)
target_include_directories(bench_viewer PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(bench_viewer PRIVATE nocturo_viewer benchmark::benchmark)
target_compile_definitions(bench_viewer PRIVATE NOCTURO_VIEW="$<TARGET_FILE:nocturo-view>")
add_dependencies(bench_viewer nocturo-view)
