# The libusb pipe library: address parsing, version value, and behaviour with no sensor
# attached. No test here touches a USB device.
add_executable(test_libusb_pipes libusb/PipeAddressTest.cpp libusb/LibusbPipeLibraryTest.cpp)
target_link_libraries(test_libusb_pipes PRIVATE nocturo_sensor PkgConfig::LIBUSB GTest::gtest_main)
gtest_discover_tests(test_libusb_pipes)
