#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the tamsel command-line tool and prints the bundled sample series
# (data/sample-daily.csv, synthetic daily bars) with its four indicators.
# Standard output carries the CSV alone; package installation and build
# progress go to standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_core_packages
cmake --preset release >&2
cmake --build --preset release --target tamsel >&2
./build/release/tools/tamsel/tamsel data/sample-daily.csv
