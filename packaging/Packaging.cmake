# SPDX-License-Identifier: GPL-3.0-or-later
# Installed files besides the program, and the Debian package (cpack -G DEB).
#
# Layout under the install prefix (/usr in the package):
#   bin/nocturo                         the program
#   bin/nocturo-station                 starts it in the user's data folder (~/Nocturo)
#   bin/nocturo-view                    the viewer of the day files
#   share/applications/<id>.desktop     desktop entry, runs nocturo-station
#   share/applications/<viewer>.desktop desktop entry of the viewer
#   share/icons/hicolor/scalable/apps/  the icon
#   share/metainfo/<id>.metainfo.xml    AppStream metadata
#   lib/udev/rules.d/70-nocturo.rules   sensor access for the user at the active seat and
#                                       the logger service's group
#   bin/nocturo-logger                  the station without a window
#   lib/systemd/system/nocturo-logger.service   its system service (not enabled)
#   lib/sysusers.d/nocturo.conf         the service's account, nocturo
#   lib/modules-load.d/nocturo.conf     USB's core loaded before the service starts
#   bin/nocturo-collect                 the archive's collector (MQTT to PostgreSQL)
#   lib/systemd/system/nocturo-collect.service  its system service (not enabled)
#   lib/sysusers.d/nocturo-collect.conf its account, nocturo-collect
#   share/polkit-1/rules.d/50-nocturo-reboot.rules   the reboot, for that account only
#   share/doc/nocturo/copyright         the licence, in Debian's machine-readable form
#   share/doc/nocturo/changelog.gz      the release history
#   share/man/man1/<program>.1.gz       each program's manual page, made from its --help
include(GNUInstallDirs)

set(NOCTURO_APP_ID org.nocturo.Nocturo)
set(NOCTURO_VIEWER_ID org.nocturo.Viewer)
set(NOCTURO_PACKAGE_MAINTAINER "Nocturo developers <developers@nocturo.org>"
    CACHE STRING "Maintainer field of the Debian package")

# The release date follows SOURCE_DATE_EPOCH when it is set, so builds can be reproduced.
string(TIMESTAMP NOCTURO_RELEASE_DATE "%Y-%m-%d" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/${NOCTURO_APP_ID}.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/packaging/${NOCTURO_APP_ID}.metainfo.xml @ONLY)

install(PROGRAMS ${CMAKE_CURRENT_LIST_DIR}/nocturo-station DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/${NOCTURO_APP_ID}.desktop
              ${CMAKE_CURRENT_LIST_DIR}/${NOCTURO_VIEWER_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/${NOCTURO_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_BINARY_DIR}/packaging/${NOCTURO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# udev reads rules from <prefix>/lib/udev/rules.d for /usr and /usr/local, never from a
# multiarch library directory, so the path is fixed here.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/70-nocturo.rules DESTINATION lib/udev/rules.d)

# The logger's service. systemd, sysusers and polkit read their packages' files from these
# places under /usr, whatever the library directory. The unit names the installed program,
# so it is written at install time, when the prefix is known (cpack installs with /usr).
if(NOT WIN32)
    set(NOCTURO_UNIT_IN ${CMAKE_CURRENT_LIST_DIR}/nocturo-logger.service.in)
    set(NOCTURO_UNIT ${CMAKE_BINARY_DIR}/packaging/nocturo-logger.service)
    install(CODE "
        set(NOCTURO_LOGGER_PATH \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/nocturo-logger\")
        configure_file(\"${NOCTURO_UNIT_IN}\" \"${NOCTURO_UNIT}\" @ONLY)")
    install(FILES ${NOCTURO_UNIT} DESTINATION lib/systemd/system)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/sysusers.d/nocturo.conf DESTINATION lib/sysusers.d)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/modules-load.d/nocturo.conf
            DESTINATION lib/modules-load.d)
    # The archive's collector: its service and account, the same way.
    set(NOCTURO_COLLECT_UNIT_IN ${CMAKE_CURRENT_LIST_DIR}/nocturo-collect.service.in)
    set(NOCTURO_COLLECT_UNIT ${CMAKE_BINARY_DIR}/packaging/nocturo-collect.service)
    install(CODE "
        set(NOCTURO_COLLECT_PATH \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/nocturo-collect\")
        configure_file(\"${NOCTURO_COLLECT_UNIT_IN}\" \"${NOCTURO_COLLECT_UNIT}\" @ONLY)")
    install(FILES ${NOCTURO_COLLECT_UNIT} DESTINATION lib/systemd/system)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/sysusers.d/nocturo-collect.conf
            DESTINATION lib/sysusers.d)
    # The web service: its service and account, the same way.
    set(NOCTURO_WEB_UNIT_IN ${CMAKE_CURRENT_LIST_DIR}/nocturo-web.service.in)
    set(NOCTURO_WEB_UNIT ${CMAKE_BINARY_DIR}/packaging/nocturo-web.service)
    install(CODE "
        set(NOCTURO_WEB_PATH \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/nocturo-web\")
        configure_file(\"${NOCTURO_WEB_UNIT_IN}\" \"${NOCTURO_WEB_UNIT}\" @ONLY)")
    install(FILES ${NOCTURO_WEB_UNIT} DESTINATION lib/systemd/system)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/sysusers.d/nocturo-web.conf DESTINATION lib/sysusers.d)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/polkit/50-nocturo-reboot.rules
            DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/rules.d)
endif()

# Debian keeps a package's licence and history in /usr/share/doc/<package>; a native
# package's history is changelog.gz, compressed as Debian wants it (-9, no name or time).
set(NOCTURO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/nocturo)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog)
execute_process(COMMAND gzip -9nc INPUT_FILE ${CMAKE_CURRENT_LIST_DIR}/changelog
                OUTPUT_FILE ${CMAKE_BINARY_DIR}/packaging/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${NOCTURO_DOC_DIR})

# A manual page for every program installed, made by help2man from the program's own
# --help when the program is built, so the page and --help never differ. A cross build
# runs the programs under its emulator. Pages are compressed as Debian wants them.
if(NOT NOCTURO_FUZZ)
    find_program(HELP2MAN help2man REQUIRED)
    set(NOCTURO_MAN_RUNNER)
    if(CMAKE_CROSSCOMPILING_EMULATOR)
        string(JOIN " " NOCTURO_MAN_RUNNER ${CMAKE_CROSSCOMPILING_EMULATOR} "")
    endif()
    set(NOCTURO_MAN_DIR ${CMAKE_BINARY_DIR}/packaging/man)
    file(MAKE_DIRECTORY ${NOCTURO_MAN_DIR})
    set(NOCTURO_MAN_PAGES)
    # nocturo_man_page(NAME SUMMARY COMMAND [DEPENDS...]): man/NAME.1.gz from COMMAND --help
    # (one word, or the emulator and the program separated by a space: help2man hands it
    # to the shell).
    function(nocturo_man_page name summary command)
        set(page ${NOCTURO_MAN_DIR}/${name}.1)
        add_custom_command(
            OUTPUT ${page}.gz
            COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1
                    --version-string=${PROJECT_VERSION} --name=${summary}
                    --output=${page} ${command}
            COMMAND gzip -9nf ${page}
            DEPENDS ${ARGN}
            COMMENT "Manual page of ${name}"
            VERBATIM)
        set(NOCTURO_MAN_PAGES ${NOCTURO_MAN_PAGES} ${page}.gz PARENT_SCOPE)
    endfunction()
    nocturo_man_page(nocturo-station "start Nocturo in the user's data folder"
                     "sh ${CMAKE_CURRENT_LIST_DIR}/nocturo-station"
                     ${CMAKE_CURRENT_LIST_DIR}/nocturo-station)
    nocturo_man_page(nocturo-view "look back at a station's day files or the network's archive"
                     "${NOCTURO_MAN_RUNNER}$<TARGET_FILE:nocturo-view>" nocturo-view)
    if(NOT WIN32)
        nocturo_man_page(nocturo-logger "record a USB light sensor without a window"
                         "${NOCTURO_MAN_RUNNER}$<TARGET_FILE:nocturo-logger>" nocturo-logger)
        nocturo_man_page(nocturo-collect "store the network's readings in the archive"
                         "${NOCTURO_MAN_RUNNER}$<TARGET_FILE:nocturo-collect>" nocturo-collect)
    endif()
    if(TARGET nocturo-web)
        nocturo_man_page(nocturo-web "show the stations and their nights in a browser"
                         "${NOCTURO_MAN_RUNNER}$<TARGET_FILE:nocturo-web>" nocturo-web)
    endif()
    # The window program takes no command line, and an INDI driver is started by indiserver
    # and answers no --help: their pages are written by hand.
    set(NOCTURO_WRITTEN_PAGES nocturo)
    if(TARGET indi_nocturo)
        list(APPEND NOCTURO_WRITTEN_PAGES indi_nocturo)
    endif()
    foreach(name IN LISTS NOCTURO_WRITTEN_PAGES)
        add_custom_command(
            OUTPUT ${NOCTURO_MAN_DIR}/${name}.1.gz
            COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_LIST_DIR}/${name}.1
                    ${NOCTURO_MAN_DIR}/${name}.1
            COMMAND gzip -9nf ${NOCTURO_MAN_DIR}/${name}.1
            DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${name}.1
            COMMENT "Manual page of ${name}"
            VERBATIM)
        list(APPEND NOCTURO_MAN_PAGES ${NOCTURO_MAN_DIR}/${name}.1.gz)
    endforeach()
    add_custom_target(manpages ALL DEPENDS ${NOCTURO_MAN_PAGES})
    install(FILES ${NOCTURO_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nocturo)
set(CPACK_PACKAGE_VENDOR "Nocturo developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "continuous record of a USB light sensor")
# Debian wants the description's lines under 80 characters: they are kept as written.
set(CPACK_PACKAGE_DESCRIPTION
    "Nocturo reads a USB light sensor (04D8:000C) as fast as it answers, scales\n\
each count by its gain range and writes one rounded mean per second, with the\n\
sensor's temperature, into a daily text log. It plots counts, temperature and\n\
range against the time of day and can force a reboot of an unattended station\n\
after the sensor fails. A udev rule lets the user at the machine's seat open\n\
the sensor. nocturo-logger records without a window, as the system service\n\
nocturo-logger (installed, not enabled) under its own account, into\n\
/var/lib/nocturo. nocturo-view shows any day, night or week of the logs\n\
and exports it as PNG, SVG, PDF or CSV, also without a display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${NOCTURO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${NOCTURO_PACKAGE_ARCH})
# Depends is computed from the libraries the program links (dpkg-shlibdeps, in dpkg-dev).
# dpkg-shlibdeps, which cpack runs, looks up the libraries of DEB_HOST_ARCH, so cpack sets
# it to the package's architecture (a cross build's target libraries are installed beside
# the native ones).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
file(WRITE ${CMAKE_BINARY_DIR}/packaging/CPackProjectConfig.cmake
     "set(ENV{DEB_HOST_ARCH} ${NOCTURO_PACKAGE_ARCH})\n")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/packaging/CPackProjectConfig.cmake)
# The forced reboot goes through systemd-logind, which asks polkit.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "systemd, polkitd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/preinst ${CMAKE_CURRENT_LIST_DIR}/postinst
    ${CMAKE_CURRENT_LIST_DIR}/prerm ${CMAKE_CURRENT_LIST_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
