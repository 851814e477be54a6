# SPDX-License-Identifier: MIT
# Shared part of the MinGW-w64 toolchain files; TAMSEL_MINGW_TRIPLE names the
# target, TAMSEL_MINGW_VARIANTS the compiler variants to take, the first
# found winning.  By default the "-win32" variants are preferred: their C++
# runtime uses Windows threads directly instead of libwinpthread.
if(NOT DEFINED TAMSEL_MINGW_VARIANTS)
  set(TAMSEL_MINGW_VARIANTS -win32 -posix "")
endif()
foreach(variant IN LISTS TAMSEL_MINGW_VARIANTS)
  find_program(TAMSEL_MINGW_CC ${TAMSEL_MINGW_TRIPLE}-gcc${variant})
  find_program(TAMSEL_MINGW_CXX ${TAMSEL_MINGW_TRIPLE}-g++${variant})
  if(TAMSEL_MINGW_CC AND TAMSEL_MINGW_CXX)
    break()
  endif()
  unset(TAMSEL_MINGW_CC CACHE)
  unset(TAMSEL_MINGW_CXX CACHE)
endforeach()
if(NOT TAMSEL_MINGW_CC OR NOT TAMSEL_MINGW_CXX)
  message(FATAL_ERROR "No ${TAMSEL_MINGW_TRIPLE} compiler found; install g++-mingw-w64")
endif()
set(CMAKE_C_COMPILER ${TAMSEL_MINGW_CC})
set(CMAKE_CXX_COMPILER ${TAMSEL_MINGW_CXX})
set(CMAKE_RC_COMPILER ${TAMSEL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAMSEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
