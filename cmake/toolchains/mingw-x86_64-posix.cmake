# SPDX-License-Identifier: MIT
# Cross build for x86-64 Windows with Debian's MinGW-w64 in its "posix"
# thread model (g++-mingw-w64-x86-64-posix), for programs that use C++
# threads: GCC 12's "win32" model has no std::thread, std::mutex or
# std::condition_variable.  Linked with -static, the winpthread runtime
# this model needs goes inside the program, which then needs no DLL beyond
# Windows' own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TAMSEL_MINGW_TRIPLE x86_64-w64-mingw32)
set(TAMSEL_MINGW_VARIANTS -posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
