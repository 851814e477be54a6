#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Instructions per bar of TamselChart_CyclePeriod and TamselChart_AllIndicators
# with the AVX2 kernel over a 20,000-bar random walk, and per series-bar of
# TamselChart_AllIndicatorsMany over eight such walks, counted by callgrind.
# Unlike wall-clock time on a shared machine, these counts repeat to the
# last digit.  Only instructions executed inside the export are counted, so
# generating the walk and starting the program are left out.
#
#   bench/instructions.sh [BUILD_DIR] [BARS]    (default build/release, 20000)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build/release}"
bars="${2:-20000}"

command -v valgrind >/dev/null || { echo "instructions.sh: valgrind is not installed" >&2; exit 1; }
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  (cd "$root" && cmake --preset release >/dev/null)
  build="$root/build/release"
fi
cmake --build "$build" --target tamsel_instruction_count -j2 >/dev/null
driver="$build/bench/tamsel_instruction_count"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Inclusive cost of the export: everything it executes, the kernel included.
# A third argument counts per series-bar of that many series.
count() {
  local export_name="$1" which="$2" series="${3:-1}"
  TAMSELCHARTS_SIMD=avx2 valgrind --tool=callgrind --callgrind-out-file="$work/$which.out" \
    --toggle-collect="$export_name" "$driver" "$which" "$bars" >/dev/null 2>"$work/$which.log" || {
    cat "$work/$which.log" >&2
    exit 1
  }
  local total
  total="$(sed -n 's/^summary: //p' "$work/$which.out" | awk '{print $1}')"
  awk -v name="$export_name" -v total="$total" -v bars="$bars" -v series="$series" \
    'BEGIN { printf "%-30s %12d instructions  %8.1f per %s\n", name, total, total / (bars * series),
             (series > 1 ? "series-bar (" series " series)" : "bar") }'
}

echo "callgrind, TAMSELCHARTS_SIMD=avx2, random walk of $bars bars"
count TamselChart_CyclePeriod cycle_period
count TamselChart_AllIndicators all_indicators
count TamselChart_AllIndicatorsMany all_indicators_many 8
