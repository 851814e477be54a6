#!/usr/bin/env bash
# The Windows builds: TamselCharts.dll for 32-bit x86 and x86-64, cross-built
# with MinGW-w64, then
#   1. the library's own log/cos/pow checked against the native C library;
#   2. both DLLs' machine type, exports and imports checked (check_dll.sh);
#   3. the 32-bit DLL run for real by tests/windows/pe_loader.c under
#      qemu-i386, called cdecl on a 4-byte-aligned stack;
#   4. the 64-bit DLL loaded by a Windows host program under Wine;
# both running the golden series, with the bit-identical counts pinned in
# tests/windows/agreement.txt.  Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/lib/packages.sh
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
  -DTAMSEL_PORTABLE_MATH -Isrc -o "$out/portable_math_test" \
  tests/windows/portable_math_test.cpp src/spectrum/portable_math.cpp
"$out/portable_math_test"

for preset in win32 win64; do
  echo "== $preset build"
  cmake --preset "$preset" --fresh >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  tests/windows/check_dll.sh "$preset" "build/$preset/src/TamselCharts.dll"
  # Every compile of the library: exact IEEE doubles, no fused or fast math,
  # SSE2 and a 4-byte incoming stack on 32-bit x86, only the baseline kernel.
  commands=$(ninja -C "build/$preset" -t commands src/TamselCharts.dll | grep -E ' -c [^ ]*/src/' | grep tamsel_objects.dir)
  required=(-ffp-contract=off)
  [ "$preset" = win32 ] && required+=(-msse2 -mfpmath=sse -mincoming-stack-boundary=2)
  while IFS= read -r command; do
    for flag in "${required[@]}"; do
      [[ " $command " == *" $flag "* ]] || { echo "FAIL: $preset compiles without $flag: $command"; exit 1; }
    done
    [[ $command != *-ffast-math* && $command != *spectrum_kernel_avx* ]] ||
      { echo "FAIL: $preset: $command"; exit 1; }
  done <<<"$commands"
  echo "$preset: $(wc -l <<<"$commands") compiles with ${required[*]}"
  zip=build/$preset/TamselCharts-$(sed -n 's/^project(TamselCharts VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)-$preset.zip
  contents=$(unzip -Z1 "$zip" | sed 's|^[^/]*/||' | grep . | sort | tr '\n' ' ')
  [ "$contents" = "README.txt TamselCharts.def TamselCharts.dll TamselCharts.h TamselCharts.lib " ] ||
    { echo "FAIL: $zip holds: $contents"; exit 1; }
  echo "$zip: $contents"
  # A host linked through the import library imports the plain name.
  objdump=$([ "$preset" = win32 ] && echo i686 || echo x86_64)-w64-mingw32-objdump
  $objdump -p "build/$preset/examples/print_indicators.exe" |
    sed -n '/DLL Name: TamselCharts.dll/,/^$/p' | grep -qE '\bTamselChart_AllIndicators$' ||
    { echo "FAIL: $preset print_indicators.exe does not import TamselChart_AllIndicators from TamselCharts.dll"; exit 1; }
done

echo "== 32-bit DLL in the PE loader (qemu-i386)"
warnings=(-Wall -Wextra -Werror -O2 -std=c11 -ffp-contract=off)
gcc -m32 -static -msse2 -mfpmath=sse -mincoming-stack-boundary=2 "${warnings[@]}" -o "$out/pe_loader" \
  tests/windows/pe_loader.c tests/windows/golden_check.c -lm
qemu-i386-static "$out/pe_loader" build/win32/src/TamselCharts.dll "$golden" "$agreement"

echo "== 64-bit DLL in a Windows host (Wine)"
x86_64-w64-mingw32-gcc-win32 -static "${warnings[@]}" -o "$out/wine_host.exe" \
  tests/windows/wine_host.c tests/windows/golden_check.c
cp build/win64/src/TamselCharts.dll "$out/"
wait "$wineboot_pid" || { cat "$out/wineboot.log"; echo "FAIL: wineboot"; exit 1; }
winpath() { echo "Z:${1//\//\\}"; }
(cd "$out" && "$wine" wine_host.exe TamselCharts.dll "$(winpath "$golden")" "$(winpath "$agreement")")
# The example host, linked through the import library, runs too.
mkdir -p "$out/linked"
cp build/win64/examples/print_indicators.exe build/win64/src/TamselCharts.dll "$out/linked/"
lines=$(cd "$out/linked" && "$wine" print_indicators.exe | wc -l)
[ "$lines" -eq 31 ] || { echo "FAIL: print_indicators.exe printed $lines lines, want 31"; exit 1; }
echo "print_indicators.exe (linked through TamselCharts.lib) ran under Wine"

# On request, the same measurement with MinGW's own log, cos and pow, as
# reported in docs/windows.md (no floor applies to it).
if [ "${TAMSEL_MEASURE_RUNTIME_MATH:-0}" = 1 ]; then
  for preset in win32 win64; do
    echo "== $preset with MinGW's runtime math"
    cmake --preset "$preset" --fresh -B "build/$preset-runtime-math" -DTAMSEL_PORTABLE_MATH=OFF >/dev/null
    cmake --build "build/$preset-runtime-math" -j "$jobs" --target tamselcharts >/dev/null
  done
  qemu-i386-static "$out/pe_loader" build/win32-runtime-math/src/TamselCharts.dll "$golden" | tail -6 || true
  # Windows looks for the DLL beside the program first: a directory of its own.
  mkdir -p "$out/runtime-math"
  cp build/win64-runtime-math/src/TamselCharts.dll "$out/wine_host.exe" "$out/runtime-math/"
  (cd "$out/runtime-math" && "$wine" wine_host.exe TamselCharts.dll "$(winpath "$golden")" | tail -6) || true
fi
echo "Windows builds: all checks passed."
