#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times tamsel end to end on one core: 1,000,000 generated daily bars, all
# four indicators, output to a file.  Rows per second = 1e6 / mean time.
#
#   bench/tamsel_cli/run.sh [PATH/TO/tamsel]   (default: the release preset's build)
set -euo pipefail
cd "$(dirname "$0")/../.."
tamsel=${1:-build/release/tools/tamsel/tamsel}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 bench/tamsel_cli/make_bars.py 1000000 > "$work/bars.csv"
if command -v hyperfine >/dev/null; then
  hyperfine --warmup 1 --runs 10 -N "$tamsel -o $work/out.csv $work/bars.csv"
else
  time "$tamsel" -o "$work/out.csv" "$work/bars.csv"
fi
