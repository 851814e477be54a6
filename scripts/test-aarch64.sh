#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# AArch64, the fourth architecture: the library, its test suite and the fuzz
# replay program cross-compiled for 64-bit Arm Linux with clang-14 (preset
# aarch64, build/aarch64) and run under qemu-aarch64-static:
#   1. GoogleTest built for the target from Debian's googletest sources
#      (build/aarch64-deps);
#   2. every compile of the library checked for -ffp-contract=off (clang
#      fuses a * b + c by default, and Arm has the instruction for it), and
#      the shared library checked by tests/check_shared_library.sh: exports,
#      and no fused instruction (fmadd, fmsub, fnmadd, fnmsub, fmla, fmls);
#   3. the test suite under QEMU (golden, transcription, stream, call
#      contract, properties, ...), except the comparison of x86 kernel builds,
#      which starts children of itself that only a binfmt-registered QEMU
#      could run (AArch64 has the one, generic, kernel);
#   4. the corpus digests (scripts/lib/digests.sh: outputs and snapshot
#      bytes) and the snapshot loader's outcomes over its corpus
#      (fuzz/corpus/snapshot), which must equal the native build's.
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/lib/packages.sh
source scripts/lib/digests.sh
ensure_core_packages
ensure_packages 'clang-14=1:14.0.*' 'qemu-user-static=1:7.2*' 'binutils-aarch64-linux-gnu=2.40*' \
  'libc6-dev-arm64-cross=2.36*' 'libstdc++-12-dev-arm64-cross=12.2.*' 'libgcc-12-dev-arm64-cross=12.2.*' \
  'googletest=1.12.*'

jobs=$(($(nproc) < 2 ? $(nproc) : 2))
toolchain=$root/cmake/toolchains/aarch64-linux-clang.cmake
deps=$root/build/aarch64-deps
out=$root/build/aarch64-tests
rm -rf "$out"
mkdir -p "$out"

echo "== GoogleTest for AArch64 ($deps)"
cmake -S /usr/src/googletest -B "$deps/googletest" -G Ninja --fresh -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_GMOCK=OFF >/dev/null
cmake --build "$deps/googletest" -j "$jobs" >/dev/null
cmake --install "$deps/googletest" >/dev/null

echo "== aarch64 build"
cmake --preset aarch64 --fresh >/dev/null
cmake --build --preset aarch64 -j "$jobs"
library=build/aarch64/src/libtamselcharts.so
readelf -h "$library" | grep -q 'Machine:.*AArch64' || { echo "FAIL: $library is not an AArch64 library"; exit 1; }
commands=$(ninja -C build/aarch64 -t commands "src/libtamselcharts.so" | grep -E ' -c [^ ]*/src/' | grep tamsel_objects.dir)
while IFS= read -r command; do
  for flag in --target=aarch64-linux-gnu -ffp-contract=off; do
    [[ " $command " == *" $flag "* ]] || { echo "FAIL: aarch64 compiles without $flag: $command"; exit 1; }
  done
  [[ $command != *-ffast-math* && $command != *-ffp-contract=fast* && $command != *-ffp-contract=on* ]] ||
    { echo "FAIL: aarch64: $command"; exit 1; }
done <<<"$commands"
echo "aarch64: $(wc -l <<<"$commands") compiles with --target=aarch64-linux-gnu -ffp-contract=off"
tests/check_shared_library.sh "$library" include/TamselCharts.h

echo "== the test suite under qemu-aarch64-static"
# The corpus replay runs below, printing its digests.
ctest --preset aarch64 -j "$jobs" -E '^(Property\.EveryKernelBuildComputesTheSameBits|fuzz_corpus_(library|snapshot))$'

echo "== corpus digests"
prepare_digest_inputs "$out"
native_digests "$out"
TAMSEL_FUZZ_PRINT_DIGEST=1 qemu-aarch64-static -L /usr/aarch64-linux-gnu build/aarch64/fuzz/tamsel_replay_library \
  fuzz/corpus/library "$out/golden" 2>"$out/aarch64-digests.log" | digest_lines >"$out/aarch64.txt"
compare_digests "aarch64 (qemu-aarch64-static)" "$out/native.txt" "$out/aarch64.txt"
TAMSEL_FUZZ_PRINT_DIGEST=1 qemu-aarch64-static -L /usr/aarch64-linux-gnu build/aarch64/fuzz/tamsel_replay_snapshot \
  fuzz/corpus/snapshot 2>"$out/aarch64-snapshot.log" | snapshot_lines >"$out/aarch64-snapshot.txt"
if [ ! -s "$out/native-snapshot.txt" ] || ! cmp -s "$out/native-snapshot.txt" "$out/aarch64-snapshot.txt"; then
  diff "$out/native-snapshot.txt" "$out/aarch64-snapshot.txt" | head -n 20 >&2
  tail -n 5 "$out/aarch64-snapshot.log" >&2
  echo "FAIL: aarch64 loads the snapshot corpus otherwise than the native build" >&2
  exit 1
fi
echo "aarch64: the same outcomes as the native build for $(wc -l <"$out/aarch64-snapshot.txt") snapshot inputs"
echo "AArch64: all checks passed."
