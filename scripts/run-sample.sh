#!/usr/bin/env bash
# Builds the tamsel command-line tool and prints the bundled sample series
# (data/sample-daily.csv, synthetic daily bars) with its four indicators.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_core_packages
cmake --preset release >/dev/null
cmake --build --preset release --target tamsel >/dev/null
./build/release/tools/tamsel/tamsel data/sample-daily.csv
