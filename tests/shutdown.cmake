# The forced reboot, against a fake logind on a private session bus. The test links only
# the injectable nocturo_system, never nocturo_system_default (the real bus and reboot).
if(NOT WIN32)
    find_program(DBUS_RUN_SESSION dbus-run-session REQUIRED)
    # Debian's python3-dbusmock belongs to the system's interpreter; a python3 found earlier
    # in PATH (pyenv, a virtual environment) may not see it.
    find_program(DBUSMOCK_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
    if(NOT DBUSMOCK_PYTHON)
        find_program(DBUSMOCK_PYTHON python3 REQUIRED)
    endif()

    add_executable(test_shutdown SystemRestartTest.cpp)
    target_link_libraries(test_shutdown PRIVATE nocturo_system GTest::gtest)
    target_compile_definitions(test_shutdown PRIVATE
        NOCTURO_DBUSMOCK_PYTHON="${DBUSMOCK_PYTHON}")
    add_test(NAME shutdown COMMAND ${DBUS_RUN_SESSION} -- $<TARGET_FILE:test_shutdown>)
    # The test starts the fake with QProcess, whose clone (CLONE_PIDFD) qemu-user refuses,
    # so it runs on the build machine's architecture only.
    set_tests_properties(shutdown PROPERTIES TIMEOUT 60 LABELS native-only)
endif()
