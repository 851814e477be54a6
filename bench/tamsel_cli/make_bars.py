#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes N rows of daily-bar CSV (default 1,000,000) for timing tamsel:

    python3 bench/tamsel_cli/make_bars.py 1000000 > /tmp/bars.csv
    hyperfine 'build/cli/tools/tamsel/tamsel /tmp/bars.csv > /dev/null'

A random walk with a cycle on it, prices in cents, Date,Open,High,Low,Close,Volume.
"""
import datetime
import math
import random
import sys


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
    rng = random.Random(1)
    day = datetime.date(1900, 1, 1)
    one = datetime.timedelta(days=1)
    level = 100.0
    out = sys.stdout
    out.write("Date,Open,High,Low,Close,Volume\n")
    lines = []
    for i in range(count):
        level = max(10.0, level + rng.gauss(0.0, 0.5))
        mid = level + 3.0 * math.sin(i * 2.0 * math.pi / (15.0 + 10.0 * math.sin(i / 500.0)))
        o, c = mid + rng.gauss(0, 0.4), mid + rng.gauss(0, 0.4)
        h, lo = max(o, c) + rng.random(), min(o, c) - rng.random()
        lines.append(f"{day.isoformat()},{o:.2f},{h:.2f},{lo:.2f},{c:.2f},{rng.randint(100000, 2000000)}\n")
        day += one
        if len(lines) == 10000:
            out.write("".join(lines))
            lines.clear()
    out.write("".join(lines))


if __name__ == "__main__":
    main()
