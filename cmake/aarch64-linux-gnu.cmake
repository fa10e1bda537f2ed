# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The Quvelta developers
# Cross build for 64-bit Arm Linux with Debian's multiarch packages (g++-aarch64-linux-gnu,
# qt6-base-dev:arm64 and the :arm64 image libraries); the tests run under qemu-user.
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Headers and libraries of the target only; programs (moc, uic, rcc) of the host.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu /usr)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(QT_HOST_PATH /usr CACHE PATH "Host Qt with moc, uic and rcc")

# The multiarch loader and libraries are under /, where qemu finds them.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /)

# Qt's host tool packages (Linguist's lrelease for the translations) are found beside the host's
# Qt through its HostInfo package.
if(EXISTS /usr/lib/x86_64-linux-gnu/cmake/Qt6HostInfo)
    set(Qt6HostInfo_DIR /usr/lib/x86_64-linux-gnu/cmake/Qt6HostInfo CACHE PATH "The host's Qt")
endif()
