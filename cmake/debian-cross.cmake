# SPDX-License-Identifier: GPL-3.0-or-later
# Cross build for another Debian architecture with Debian's multiarch tool chain:
# crossbuild-essential-<arch> compiles, the target's libraries are the <arch> development
# packages installed beside the native ones (/usr/lib/<triplet>), Qt's host tools (moc,
# uic, rcc) are the native ones, and programs built here run on this machine under
# qemu-user-static (tests, test discovery).
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/debian-cross.cmake -DNOCTURO_DEB_ARCH=arm64 ...
#
# packaging/install-deps.sh <arch> installs all of it.

if(NOT NOCTURO_DEB_ARCH)
    set(NOCTURO_DEB_ARCH arm64)
endif()
# try_compile projects read this file again and need the architecture too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES NOCTURO_DEB_ARCH)

# The target's GNU names and multiarch folder, and this machine's, from dpkg itself so any
# Debian architecture works. dpkg-architecture warns that the native compiler does not
# match the target; that is expected here.
function(nocturo_dpkg_arch out variable)
    execute_process(COMMAND dpkg-architecture ${ARGN} -q${variable}
                    OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET RESULT_VARIABLE failed)
    if(failed OR NOT value)
        message(FATAL_ERROR "dpkg-architecture cannot tell ${variable} for ${ARGN}")
    endif()
    set(${out} ${value} PARENT_SCOPE)
endfunction()
nocturo_dpkg_arch(triplet DEB_HOST_MULTIARCH -a${NOCTURO_DEB_ARCH})
nocturo_dpkg_arch(gnu_type DEB_HOST_GNU_TYPE -a${NOCTURO_DEB_ARCH})
nocturo_dpkg_arch(gnu_cpu DEB_HOST_GNU_CPU -a${NOCTURO_DEB_ARCH})
nocturo_dpkg_arch(build_triplet DEB_BUILD_MULTIARCH)

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${gnu_cpu})
set(CMAKE_C_COMPILER ${gnu_type}-gcc)
set(CMAKE_CXX_COMPILER ${gnu_type}-g++)
# Multiarch: the target's libraries and CMake packages live under /usr/lib/<triplet>, so
# the root stays / and the search is kept to the target's folder by the architecture.
set(CMAKE_LIBRARY_ARCHITECTURE ${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# The target's pkg-config (pkgconf:<arch>) reads only the target's .pc files.
set(ENV{PKG_CONFIG} ${gnu_type}-pkg-config)

# Qt looks for its host tools under QT_HOST_PATH; they are the native packages'.
set(QT_HOST_PATH /usr CACHE PATH "Where Qt's native host tools are")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${build_triplet}/cmake
    CACHE PATH "Where the CMake packages of Qt's native host tools are")

# qemu-user runs the target's programs; the target's dynamic loader and libraries are
# where multiarch installed them, so no sysroot option is needed.
find_program(NOCTURO_QEMU NAMES qemu-${gnu_cpu}-static qemu-${gnu_cpu})
if(NOCTURO_QEMU)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${NOCTURO_QEMU})
endif()
