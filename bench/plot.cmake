# The plot with a full day in each of its three series: a record's points and the redraw,
# a zoom step, a full redraw.
add_executable(bench_plot ${CMAKE_CURRENT_LIST_DIR}/bench_plot.cpp)
target_link_libraries(bench_plot PRIVATE nocturo_window Qt6::Test benchmark::benchmark)
