#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows builds: TamselCharts.dll for 32-bit x86 and x86-64, cross-built
# with MinGW-w64, then
#   1. the library's own log/cos/pow checked against the native C library;
#   2. both DLLs' machine type, exports, imports and kernels checked
#      (check_dll.sh);
#   3. the 32-bit DLL run for real by tests/windows/pe_loader.c under
#      qemu-i386, called cdecl on a 4-byte-aligned stack;
#   4. the 64-bit DLL loaded by a Windows host program under Wine, and
#      loaded and unloaded 2,000 times by another with a flat working set;
# both running the golden series under each spectrum kernel
# (TAMSELCHARTS_SIMD), with the bit-identical counts pinned in
# tests/windows/agreement.txt, and then the corpus digests
# (scripts/lib/digests.sh: outputs and stream snapshot bytes, a snapshot
# saved part-way resumed in the DLL), which must equal the native build's.  Exits
# non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/lib/packages.sh
source scripts/lib/digests.sh
ensure_core_packages
ensure_packages 'g++-mingw-w64-i686-win32=12.2.*' 'g++-mingw-w64-x86-64-win32=12.2.*' \
  'binutils-mingw-w64-i686=2.40*' 'binutils-mingw-w64-x86-64=2.40*' 'wine64=8.0*' \
  'qemu-user-static=1:7.2*' 'gcc-multilib=4:12.*' 'g++-multilib=4:12.*' 'unzip=6.0*'

jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
golden=$root/tests/golden/golden.bin
agreement=$root/tests/windows/agreement.txt
out=$root/build/windows-tests
rm -rf "$out"
mkdir -p "$out"

# The Wine prefix takes a while to create: start it now, alongside the builds.
export WINEPREFIX=$out/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
( "$wine" wineboot -i >"$out/wineboot.log" 2>&1; /usr/lib/wine/wineserver -w ) &
wineboot_pid=$!
cleanup() {
  kill "$wineboot_pid" 2>/dev/null || true
  /usr/lib/wine/wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

echo "== portable math against the native C library"
g++ -std=c++20 -O2 -ffp-contract=off -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Werror \
  -Isrc -o "$out/portable_math_test" \
  tests/windows/portable_math_test.cpp src/spectrum/portable_math.cpp
"$out/portable_math_test"

for preset in win32 win64; do
  echo "== $preset build"
  # Not --fresh: the install test has built these presets already in the
  # same run; the build is brought up to date, not redone.
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  tests/windows/check_dll.sh "$preset" "build/$preset/src/TamselCharts.dll"
  # Every compile of the library: exact IEEE doubles, no fused or fast math,
  # SSE2 and a 4-byte incoming stack on 32-bit x86, the kernels picked at run
  # time; the wider kernels with their instruction set, and never FMA.
  commands=$(ninja -C "build/$preset" -t commands src/TamselCharts.dll | grep -E ' -c [^ ]*/src/' | grep tamsel_objects.dir)
  required=(-ffp-contract=off -DTAMSEL_SIMD_DISPATCH)
  [ "$preset" = win32 ] && required+=(-msse2 -mfpmath=sse -mincoming-stack-boundary=2)
  while IFS= read -r command; do
    wanted=("${required[@]}")
    [[ $command == *spectrum_kernel_avx2.cpp* ]] && wanted+=(-mavx2)
    [[ $command == *spectrum_kernel_avx512.cpp* ]] && wanted+=(-mavx512f)
    for flag in "${wanted[@]}"; do
      [[ " $command " == *" $flag "* ]] || { echo "FAIL: $preset compiles without $flag: $command"; exit 1; }
    done
    [[ $command != *-ffast-math* && $command != *-mfma* && $command != *-march=* ]] ||
      { echo "FAIL: $preset: $command"; exit 1; }
  done <<<"$commands"
  for kernel in baseline avx2 avx512; do
    grep -q "spectrum_kernel_$kernel.cpp" <<<"$commands" || { echo "FAIL: $preset builds no $kernel kernel"; exit 1; }
  done
  echo "$preset: $(wc -l <<<"$commands") compiles with ${required[*]}, kernels baseline, avx2 (-mavx2), avx512 (-mavx512f)"
  version=$(sed -n 's/^#define TAMSELCHARTS_VERSION_[A-Z]* *\([0-9]*\)$/\1/p' include/TamselCharts.h | paste -sd.)
  zip=build/$preset/TamselCharts-$version-$preset.zip
  contents=$(unzip -Z1 "$zip" | sed 's|^[^/]*/||' | grep . | sort | tr '\n' ' ')
  [ "$contents" = "LICENSE.txt README.txt TamselCharts.def TamselCharts.dll TamselCharts.h TamselCharts.lib " ] ||
    { echo "FAIL: $zip holds: $contents"; exit 1; }
  echo "$zip: $contents"
  # A host linked through the import library imports the plain name.
  objdump=$([ "$preset" = win32 ] && echo i686 || echo x86_64)-w64-mingw32-objdump
  $objdump -p "build/$preset/examples/print_indicators.exe" |
    sed -n '/DLL Name: TamselCharts.dll/,/^$/p' | grep -qE '\bTamselChart_AllIndicators$' ||
    { echo "FAIL: $preset print_indicators.exe does not import TamselChart_AllIndicators from TamselCharts.dll"; exit 1; }
done

echo "== the native build's corpus digests"
prepare_digest_inputs "$out"
native_digests "$out"
echo "native: $(wc -l <"$out/native.txt") digests, the golden ones those of the frozen outputs"

echo "== 32-bit DLL in the PE loader (qemu-i386)"
warnings=(-Wall -Wextra -Werror -O2 -std=c11 -ffp-contract=off)
host_sources=(tests/windows/golden_check.c tests/windows/corpus_digests.c fuzz/fuzz_series.c fuzz/output_digest.c
  fuzz/snapshot_digest.c)
gcc -m32 -static -msse2 -mfpmath=sse -mincoming-stack-boundary=2 "${warnings[@]}" -o "$out/pe_loader" \
  tests/windows/pe_loader.c "${host_sources[@]}" -lm
# QEMU 7.2 emulates AVX2 but not AVX-512: asked for avx512, the DLL finds
# the emulated processor without it and runs the baseline kernel.
for simd in baseline avx2 avx512; do
  echo "-- TAMSELCHARTS_SIMD=$simd"
  TAMSELCHARTS_SIMD=$simd qemu-i386-static "$out/pe_loader" build/win32/src/TamselCharts.dll "$golden" "$agreement"
done
# The corpus takes QEMU about a minute and a half per run: once, with the
# kernel the DLL picks itself (AVX2 under QEMU).
# digests_of NAME COMMAND...: runs a host in digest mode, shows its failures.
digests_of() {
  local name=$1
  shift
  if ! "$@" >"$out/$name.out" 2>"$out/$name.log"; then
    grep -v ': digest ' "$out/$name.out" | tail -n 20
    tail -n 20 "$out/$name.log"
    echo "FAIL: $name: the host failed"
    exit 1
  fi
  digest_lines <"$out/$name.out" >"$out/$name.txt"
}
digests_of win32 qemu-i386-static "$out/pe_loader" build/win32/src/TamselCharts.dll --digests fuzz/corpus/library \
  "$out/golden"
compare_digests "win32 DLL (PE loader, qemu-i386 offering $(sed -n 's/^pe_loader: the processor offers //p' \
  "$out/win32.log"), the kernel of its own choice)" \
  "$out/native.txt" "$out/win32.txt"

echo "== 64-bit DLL in a Windows host (Wine)"
x86_64-w64-mingw32-gcc-win32 -static "${warnings[@]}" -o "$out/wine_host.exe" \
  tests/windows/wine_host.c "${host_sources[@]}"
cp build/win64/src/TamselCharts.dll "$out/"
wait "$wineboot_pid" || { cat "$out/wineboot.log"; echo "FAIL: wineboot"; exit 1; }
# One server for every run below (stopped on exit): a run that starts while
# the last one's server is shutting down loses its connection to it
# ("wine client error: recvmsg: Connection reset by peer").
/usr/lib/wine/wineserver -p
winpath() { echo "Z:${1//\//\\}"; }
(cd "$out" && "$wine" wine_host.exe TamselCharts.dll "$(winpath "$golden")" "$(winpath "$agreement")")
# Loaded, called and unloaded 2,000 times: the DLL gives back all it took.
x86_64-w64-mingw32-gcc-win32 -static "${warnings[@]}" -o "$out/unload_host.exe" tests/windows/unload_host.c -lversion
(cd "$out" && "$wine" unload_host.exe TamselCharts.dll 2000)
# Wine runs the host processor's instructions: every kernel it has.
simd_targets=(baseline)
if grep -qw avx2 /proc/cpuinfo; then simd_targets+=(avx2); fi
if grep -qw avx512f /proc/cpuinfo; then simd_targets+=(avx512); fi
for simd in "${simd_targets[@]}"; do
  echo "-- TAMSELCHARTS_SIMD=$simd"
  (cd "$out" && TAMSELCHARTS_SIMD=$simd "$wine" wine_host.exe TamselCharts.dll "$(winpath "$golden")" \
    "$(winpath "$agreement")")
  TAMSELCHARTS_SIMD=$simd digests_of "win64-$simd" "$wine" "$out/wine_host.exe" \
    "$(winpath "$out/TamselCharts.dll")" --digests "$(winpath "$root/fuzz/corpus/library")" "$(winpath "$out/golden")"
  compare_digests "win64 DLL (Wine, TAMSELCHARTS_SIMD=$simd)" "$out/native.txt" "$out/win64-$simd.txt"
done
# The example host, linked through the import library, runs too.
mkdir -p "$out/linked"
cp build/win64/examples/print_indicators.exe build/win64/src/TamselCharts.dll "$out/linked/"
lines=$(cd "$out/linked" && "$wine" print_indicators.exe | wc -l)
[ "$lines" -eq 31 ] || { echo "FAIL: print_indicators.exe printed $lines lines, want 31"; exit 1; }
echo "print_indicators.exe (linked through TamselCharts.lib) ran under Wine"

echo "Windows builds: all checks passed."
