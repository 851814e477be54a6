# SPDX-License-Identifier: MIT
# Flags every target of the project is built with.
#
# The indicators are defined to the last bit of IEEE double arithmetic in the
# order their formulas are written: the compiler must neither fuse a multiply
# and an add nor reassociate, in any build type and on any target.
add_library(tamsel_flags INTERFACE)
target_compile_options(tamsel_flags INTERFACE
  $<$<COMPILE_LANG_AND_ID:CXX,GNU,Clang>:-ffp-contract=off -fno-fast-math -fno-unsafe-math-optimizations>
  $<$<COMPILE_LANG_AND_ID:C,GNU,Clang>:-ffp-contract=off -fno-fast-math>)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$" OR (CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "86"))
  # Doubles must be IEEE doubles, not x87 extended precision.
  target_compile_options(tamsel_flags INTERFACE -msse2 -mfpmath=sse)
endif()

add_library(tamsel_warnings INTERFACE)
target_compile_options(tamsel_warnings INTERFACE
  $<$<COMPILE_LANG_AND_ID:CXX,GNU,Clang>:-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion>
  $<$<COMPILE_LANG_AND_ID:C,GNU,Clang>:-Wall -Wextra -Wpedantic>)
if(TAMSEL_WARNINGS_AS_ERRORS)
  target_compile_options(tamsel_warnings INTERFACE -Werror)
endif()

if(TAMSEL_SANITIZE)
  add_compile_options(-fsanitize=${TAMSEL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${TAMSEL_SANITIZE})
endif()

# Wider builds of the spectrum kernel are picked at run time on x86, 32- and
# 64-bit, Linux and Windows alike.
set(TAMSEL_SIMD_DISPATCH OFF)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i.86|x86)$")
  set(TAMSEL_SIMD_DISPATCH ON)
endif()
