# SPDX-License-Identifier: GPL-3.0-or-later
# The i386 build on an x86-64 Debian machine: the system compiler with -m32
# (g++-multilib) and the i386 multiarch packages of Qt, wimlib, pugixml and
# GoogleTest. i386 programs run on the x86-64 kernel, so the build does not
# count as a cross build: the build-time tools (resource packer, moc) and the
# tests run as they are, and Qt needs no host tree.
#   cmake -S . -B build-x86 -DCMAKE_TOOLCHAIN_FILE=cmake/i386-linux-gnu.cmake
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# Only the i386 libraries: never an x86-64 one from /usr/lib/x86_64-linux-gnu.
set(CMAKE_IGNORE_PREFIX_PATH /usr/lib/x86_64-linux-gnu)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /usr/lib/x86_64-linux-gnu/cmake)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig)
