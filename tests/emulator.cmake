# The emulated sensor: its model on its own, then the emulator serving a libusb client
# (tools/sensor-emulator/usb-probe) through umockdev, bounded to a few seconds each.
if(NOT NOCTURO_TOOLS)
    return()
endif()
add_executable(test_sensor_emulator_model emulator/SensorEmulatorModelTest.cpp)
target_link_libraries(test_sensor_emulator_model PRIVATE sensor_emulator_model GTest::gtest_main)
gtest_discover_tests(test_sensor_emulator_model)

set(emulator $<TARGET_FILE:sensor-emulator>)
set(probe $<TARGET_FILE:usb-probe>)

# Replies decode to plausible counts, ranges and temperatures (through a fast dawn, so
# the range switches); the LED command answers; a read with nothing asked times out
# through the discard path.
add_test(NAME emulator_round_trips
         COMMAND ${emulator} --day-seconds 10 --start 05:00 -- ${probe} --count 300 --check)
# Unplug and replug: libusb's list goes 1 -> 0 -> 1, hotplug callbacks fire, the old
# handle stays dead and a new one works.
add_test(NAME emulator_unplug_replug
         COMMAND ${emulator} --faults 0.5:unplug,1:replug -- ${probe} --replug --deadline 5)
# A silent sensor makes reads time out, a short one gives short replies, then all is well.
add_test(NAME emulator_silent_and_short
         COMMAND ${emulator} --faults 0.3:silent,0.8:answer,1.1:short,1.5:normal
                 -- ${probe} --faults-seen --seconds 2 --timeout 20)
# The emulator ends with its child's exit code.
add_test(NAME emulator_child_exit_code
         COMMAND sh -c "\"$1\" -- sh -c 'exit 3'; test $? -eq 3" sh ${emulator})
set_tests_properties(emulator_round_trips emulator_unplug_replug emulator_silent_and_short
                     emulator_child_exit_code PROPERTIES TIMEOUT 30 LABELS emulator)
