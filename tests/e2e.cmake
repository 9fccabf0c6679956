# End-to-end tests: the real nocturo binary, offscreen, in a temporary directory, against
# the emulated sensor, with the wall clock moved where a test needs it.
if(NOT NOCTURO_TOOLS)
    return()
endif()

# Moves the wall clock of the program under test; kept free of sanitizers, which could
# not start before it.
add_library(wallclock_shim SHARED e2e/WallClockShim.cpp)
target_compile_options(wallclock_shim PRIVATE -fno-sanitize=all)
target_link_options(wallclock_shim PRIVATE -fno-sanitize=all)
target_link_libraries(wallclock_shim PRIVATE ${CMAKE_DL_LIBS})

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(e2e_driver ${CMAKE_CURRENT_SOURCE_DIR}/e2e/nocturo_e2e.py --emulator $<TARGET_FILE:sensor-emulator>
    --program $<TARGET_FILE:nocturo> --shim $<TARGET_FILE:wallclock_shim>)
# lines: one exact line per second, count scaled by range, file named after the day.
# saves: the save after second 29 of a minute, and the save at exit.
# midnight: from 23:59:52 the old day's file and the new day's, no line lost.
# unplug: 3 s unplugged leaves a gap of those seconds, then lines again.
# silent: a sensor that stops answering gives failed seconds, then good ones again.
# cpu_unplugged: with the sensor unplugged the program idles.
# They look at the day files and end the program as a session would (SIGTERM).
foreach(scenario lines saves midnight unplug silent cpu_unplugged)
    add_test(NAME e2e_${scenario} COMMAND Python3::Interpreter ${e2e_driver} ${scenario})
    set_tests_properties(e2e_${scenario} PROPERTIES TIMEOUT 90 LABELS e2e)
endforeach()
# The CPU figure is the program's own; other tests running beside it would only add noise.
set_tests_properties(e2e_cpu_unplugged PROPERTIES RUN_SERIAL TRUE)
