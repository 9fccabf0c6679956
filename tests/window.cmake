# The main window, offscreen: layout, status bar, settings page, error box, Data page and
# exit. Each executable is one Qt Test class.
foreach(name test_window test_window_run test_reboot)
    add_executable(${name} ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp
                           ${CMAKE_CURRENT_LIST_DIR}/WindowTestSupport.h)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(${name} PRIVATE nocturo_window nocturo_sensor_fake Qt6::Test)
    add_test(NAME window.${name} COMMAND ${name})
    set_tests_properties(window.${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                                                   TIMEOUT 60)
endforeach()

# Not a test: pictures of the three pages for a look at the layout.
add_executable(window_shots ${CMAKE_CURRENT_LIST_DIR}/window_shots.cpp)
target_include_directories(window_shots PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(window_shots PRIVATE nocturo_window nocturo_sensor_fake)
