#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Win64 DLL against the native library, in one run: the same timing host
# (bench/dll_timing/timing_host.c) built natively against libtamselcharts.so
# (release preset) and for Win64 against TamselCharts.dll (win64 preset, run
# under Wine), on the same generated series.  Prints ns per bar for each
# export, both sides and their ratio, and fails if the outputs' digests
# differ (each side's runs must also agree among themselves).  Run on an
# otherwise idle machine; TAMSELCHARTS_SIMD pins the kernel on both sides.
#
#   bench/dll_timing/run.sh [bars [rounds]]
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
bars=${1:-300000}
rounds=${2:-7}
jobs=${TAMSEL_BUILD_JOBS:-2}
work=build/dll-timing
mkdir -p "$work"

[ -f build/release/build.ninja ] || cmake --preset release >/dev/null
cmake --build build/release -j "$jobs" --target tamselcharts >/dev/null
[ -f build/win64/build.ninja ] || cmake --preset win64 >/dev/null
cmake --build build/win64 -j "$jobs" --target tamselcharts >/dev/null

flags=(-O2 -std=c11 -ffp-contract=off -Wall -Wextra -Werror -Iinclude)
gcc "${flags[@]}" -o "$work/timing_host" bench/dll_timing/timing_host.c fuzz/output_digest.c \
  -Lbuild/release/src -ltamselcharts -Wl,-rpath,"$root/build/release/src"
x86_64-w64-mingw32-gcc-win32 "${flags[@]}" -static -o "$work/timing_host.exe" bench/dll_timing/timing_host.c \
  fuzz/output_digest.c build/win64/src/TamselCharts.lib
cp build/win64/src/TamselCharts.dll "$work/"

export WINEPREFIX=${WINEPREFIX:-$root/$work/wine-prefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX" ] || /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
# Alternately, three times each, keeping each export's fastest: load from
# elsewhere on the machine then weighs on both sides alike.
: >"$work/native-runs.txt"
: >"$work/dll-runs.txt"
for _ in 1 2 3; do
  "$work/timing_host" "$bars" "$rounds" >>"$work/native-runs.txt"
  (cd "$work" && /usr/lib/wine/wine64 timing_host.exe "$bars" "$rounds") | tr -d '\r' >>"$work/dll-runs.txt"
done
fastest() { awk '/^TamselChart/ { if (!($1 in t) || $2 < t[$1]) t[$1] = $2 } /^digest/ { print } END { for (e in t) print e, t[e] }' "$1" | sort -u; }
fastest "$work/native-runs.txt" >"$work/native.txt"
fastest "$work/dll-runs.txt" >"$work/dll.txt"

echo "$bars bars, fastest of 3 x $rounds rounds, ns per bar"
printf '%-30s %10s %10s %8s\n' export native "Win64 DLL" ratio
join <(grep '^TamselChart' "$work/native.txt" | sort) <(grep '^TamselChart' "$work/dll.txt" | sort) |
  awk '{printf "%-30s %10.1f %10.1f %7.2fx\n", $1, $2, $3, $3 / $2}'
if [ "$(grep -c '^digest' "$work/native.txt")" -ne 1 ] ||
  ! diff <(grep '^digest' "$work/native.txt") <(grep '^digest' "$work/dll.txt") >/dev/null; then
  echo "FAIL: the DLL computes other outputs than the native library" >&2
  exit 1
fi
echo "outputs identical ($(grep '^digest' "$work/native.txt"))"
