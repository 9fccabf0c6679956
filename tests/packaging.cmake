# Installation and the Debian package. Both run on the files of this build tree (make test
# has built everything by then): `cmake --install` into a scratch prefix with the desktop
# entry, AppStream metadata, udev rule and launcher checked; and the .deb built with cpack,
# unpacked into a scratch root, its program started offscreen and checked to write
# nothing outside its working directory.
if(NOT WIN32)
    find_program(DESKTOP_FILE_VALIDATE desktop-file-validate REQUIRED)
    find_program(APPSTREAMCLI appstreamcli REQUIRED)
    find_program(DPKG_SHLIBDEPS dpkg-shlibdeps REQUIRED)

    add_test(NAME packaging.install
             COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/packaging/check_install.sh ${CMAKE_BINARY_DIR})
    add_test(NAME packaging.deb
             COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/packaging/check_package.sh ${CMAKE_BINARY_DIR})
    set_tests_properties(packaging.install PROPERTIES LABELS packaging TIMEOUT 60)
    set_tests_properties(packaging.deb PROPERTIES LABELS packaging TIMEOUT 120)
endif()
