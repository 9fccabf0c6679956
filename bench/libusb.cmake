# The libusb pipe library: what an open costs while no sensor is attached (the
# acquisition cycle retries it on every pass while inactive).
add_executable(bench_libusb_pipes libusb/OpenWithoutSensorBench.cpp)
target_link_libraries(bench_libusb_pipes PRIVATE nocturo_sensor benchmark::benchmark_main)
