# SPDX-License-Identifier: MIT
# Cross build for 64-bit Arm Linux with clang, against Debian's arm64 cross
# C and C++ libraries (libc6-dev-arm64-cross, libstdc++-12-dev-arm64-cross,
# libgcc-12-dev-arm64-cross) and binutils-aarch64-linux-gnu.  clang, not
# Debian's aarch64 cross gcc, because that one cannot be installed next to
# gcc-multilib, which the 32-bit x86 builds need.  Programs run under
# qemu-aarch64-static with the cross libraries as the target's root.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TAMSEL_AARCH64_TRIPLE aarch64-linux-gnu)

set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET ${TAMSEL_AARCH64_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${TAMSEL_AARCH64_TRIPLE})
set(CMAKE_AR /usr/bin/${TAMSEL_AARCH64_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${TAMSEL_AARCH64_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP /usr/bin/${TAMSEL_AARCH64_TRIPLE}-strip CACHE FILEPATH "")
set(CMAKE_OBJDUMP /usr/bin/${TAMSEL_AARCH64_TRIPLE}-objdump CACHE FILEPATH "")

# clang contracts a * b + c into one fused multiply-add by default, which
# the Arm instruction set offers for every floating-point type.  The
# project's own targets are built with -ffp-contract=off (TamselFlags.cmake);
# here it also covers anything compiled without those flags.
#
# clang 14 does not model floating-point exceptions on this target and says
# so for every -fno-unsafe-math-optimizations (which asks for that model);
# the results are the same without it, and the library does not rely on
# exception flags for them.
set(CMAKE_C_FLAGS_INIT "-ffp-contract=off -Wno-unsupported-floating-point-opt")
set(CMAKE_CXX_FLAGS_INIT "-ffp-contract=off -Wno-unsupported-floating-point-opt")

# TAMSEL_AARCH64_PREFIX: where libraries built for the target are installed
# (scripts/test-aarch64.sh puts GoogleTest there).
set(CMAKE_FIND_ROOT_PATH /usr/${TAMSEL_AARCH64_TRIPLE} ${TAMSEL_AARCH64_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L /usr/${TAMSEL_AARCH64_TRIPLE})
