#!/usr/bin/env bash
# Builds the library and prints the indicators of the bundled sample series.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_core_packages
cmake --preset release >/dev/null
cmake --build --preset release --target print_indicators >/dev/null
./build/release/examples/print_indicators
