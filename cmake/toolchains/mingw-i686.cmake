# SPDX-License-Identifier: MIT
# Cross build for 32-bit x86 Windows with Debian's MinGW-w64 (win32 thread
# model, so the runtime needs no winpthread DLL).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TAMSEL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
