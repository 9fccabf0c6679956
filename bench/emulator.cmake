# Raw 'L'+'T' round trips per second through libusb alone against the emulated sensor:
# the ceiling for the program's own passes per second against the same emulator.
# A script rather than a Google Benchmark program: the measurement spans two processes.
if(NOT NOCTURO_TOOLS)
    return()
endif()
file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/bench_emulator_round_trips
     CONTENT "#!/bin/sh
# usage: bench_emulator_round_trips [ROUND_TRIPS]
exec \"$<TARGET_FILE:sensor-emulator>\" -- \"$<TARGET_FILE:usb-probe>\" --count \"\${1:-3000}\"
"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                      WORLD_READ WORLD_EXECUTE)

# In one run: the raw rate above, then the passes per second of the real program, counted
# by the emulator as the 'L' requests it answers (each pass makes one), and their ratio.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/bench_nocturo_passes
     CONTENT "#!/bin/sh
exec \"${Python3_EXECUTABLE}\" \"${CMAKE_SOURCE_DIR}/tests/e2e/nocturo_e2e.py\" \\
    --emulator \"$<TARGET_FILE:sensor-emulator>\" --probe \"$<TARGET_FILE:usb-probe>\" \\
    --program \"$<TARGET_FILE:nocturo>\" bench
"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                      WORLD_READ WORLD_EXECUTE)
