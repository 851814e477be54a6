# SPDX-License-Identifier: MIT
# 32-bit x86 Linux with the host's gcc multilib, for replaying the fuzz
# corpus through the 32-bit code paths.  Doubles stay IEEE doubles (SSE2, not
# x87 extended precision), as the library requires on 32-bit x86.  The
# binaries are linked statically and run under qemu-i386-static, since the
# machines this project runs on need not execute 32-bit code natively.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386-static)
