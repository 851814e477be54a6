#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what a fresh Debian 12 machine lacks, builds everything from
# scratch and runs every test: the release build, the suite under Address-
# and UndefinedBehaviorSanitizer, the concurrency test under ThreadSanitizer,
# then each further part (scripts/test-*.sh) in name order.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_core_packages

jobs=$(nproc)
suites=0
for preset in release asan tsan; do
  echo "== $preset ($SECONDS s)"
  cmake --preset "$preset" --fresh >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
  suites=$((suites + 1))
done

for part in scripts/test-*.sh; do
  [ -e "$part" ] || continue
  echo "== $part ($SECONDS s)"
  bash "$part"
  suites=$((suites + 1))
done
echo "All tests passed in $SECONDS s."
# A failing suite stops the script above, so reaching here means all passed.
echo "suites: $suites passed, 0 failed"
