#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The memory --order=newest-first needs: the peak resident size of tamsel
# converting a narrow file (2,000,000 rows of "High,Low", 10 MB) and the
# 1,000,000 daily bars of make_bars.py, both newest bar first, against the
# size of the input.
#
#   bench/tamsel_cli/held_memory.sh [PATH/TO/tamsel]   (default: the release preset's build)
set -euo pipefail
cd "$(dirname "$0")/../.."
tamsel=${1:-build/release/tools/tamsel/tamsel}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work/narrow.csv" <<'PY'
import random, sys
rng = random.Random(1)
with open(sys.argv[1], "w") as out:
    out.write("High,Low\n")
    out.writelines(f"{rng.randint(10, 99)},{rng.randint(1, 9)}\n" for _ in range(2_000_000))
PY
python3 bench/tamsel_cli/make_bars.py 1000000 | { read -r header; echo "$header"; tac; } > "$work/daily.csv"
for input in narrow daily; do
  size=$(stat -c %s "$work/$input.csv")
  peak=$(/usr/bin/time -f %M "$tamsel" --order=newest-first -o "$work/out.csv" "$work/$input.csv" 2>&1 >/dev/null | tail -1)
  python3 -c "import sys; s, p = int(sys.argv[2]), int(sys.argv[3]) * 1024; print(f'{sys.argv[1]}: input {s / 1e6:.1f} MB, peak {p / 1e6:.1f} MB, {p / s:.1f} x')" \
    "$input" "$size" "$peak"
done
