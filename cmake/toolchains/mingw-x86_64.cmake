# SPDX-License-Identifier: MIT
# Cross build for x86-64 Windows with Debian's MinGW-w64 (win32 thread model,
# so the runtime needs no winpthread DLL).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TAMSEL_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
