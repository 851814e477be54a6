#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the library target's seed corpus (fuzz/corpus/library/seed_*).

Each seed is a header (bar count, shape byte) and a short payload that the
target repeats to the bar count; see fuzz/library_checks.hpp for the layout.
Re-running it rewrites the seeds identically.
"""
import os
import struct
import sys

RAW, WALK, NO_RANGE, SWAPPED_WALK = 0, 1, 2, 3
CLONE_FIRST, CLONE_HALF, CLONE_WARMUP = 1 << 6, 2 << 6, 3 << 6


SHORT_BARS, MAX_BARS = 300, 3000


def seed(count, mode, payload, null_outputs=0, clone=0):
    if count > SHORT_BARS:  # long series are counted from 0x8000 up
        count += (MAX_BARS + 1) * -(-(0x8000 - count) // (MAX_BARS + 1))
    return struct.pack("<HB", count, mode | null_outputs << 2 | clone) + payload


def floats(*values):
    return struct.pack("<%df" % len(values), *values)


def bits(*patterns):
    return struct.pack("<%dI" % len(patterns), *patterns)


def walk(base, step, moves):
    return floats(base, step) + bytes(b & 0xFF for pair in moves for b in pair)


NAN, INF = float("nan"), float("inf")
seeds = {
    "empty": b"",
    "zero_bars": seed(0, RAW, floats(1.0, 1.0)),
    "one_bar": seed(1, RAW, floats(101.0, 99.0)),
    "warmup_edge_15": seed(15, WALK, walk(100.0, 0.5, [(3, 40), (-2, 60), (5, 20)]), clone=CLONE_WARMUP),
    "cycle_walk": seed(400, WALK, walk(100.0, 0.25, [(d, 64) for d in (4, 6, 7, 6, 4, 0, -4, -6, -7, -6, -4, 0)])),
    "long_walk_ring_wrap": seed(2500, WALK, walk(50.0, 0.1, [(9, 30), (-4, 50), (2, 90), (-8, 10), (3, 70)]),
                                clone=CLONE_HALF),
    "tiny_prices": seed(300, WALK, walk(1e-30, 1e-32, [(5, 80), (-3, 20), (1, 120), (-6, 60)])),
    "huge_prices": seed(300, WALK, walk(1e38, 1e35, [(5, 80), (-3, 20), (1, 120), (-6, 60)])),
    "denormals": seed(200, RAW, bits(0x00000001, 0x00000000, 0x007FFFFF, 0x00000003, 0x80000002, 0x80000005)),
    "alternating_signs": seed(300, RAW, floats(5.0, 4.0, -5.0, -6.0, 7.5, 6.5, -7.5, -8.5)),
    "flat": seed(200, NO_RANGE, floats(42.0)),
    "zeros": seed(120, RAW, floats(0.0, 0.0)),
    "negative_zero": seed(60, RAW, floats(-0.0, 0.0, 0.0, -0.0)),
    "swapped_high_low": seed(300, SWAPPED_WALK, walk(100.0, 0.5, [(3, 40), (-5, 60), (4, 20), (-2, 90)])),
    "nan_early": seed(100, RAW, floats(*([101.0, 99.0] * 4 + [NAN, NAN] + [102.0, 98.0] * 40))),
    "nan_late": seed(200, RAW, floats(*([101.0, 99.0, 103.0, 100.0] * 40 + [NAN, 99.0] + [102.0, 98.0] * 20))),
    "infinities": seed(120, RAW, floats(*([101.0, 99.0, 104.0, 97.0] * 20 + [INF, 99.0, -INF, -INF, 101.0, 99.0]))),
    "max_float": seed(80, RAW, bits(0x7F7FFFFF, 0xFF7FFFFF, 0x7F7FFFFF, 0x7F7FFFFE)),
    "partial_null_outputs": seed(64, WALK, walk(10.0, 0.05, [(2, 10), (-1, 30), (3, 5)]), null_outputs=0b0101,
                                 clone=CLONE_FIRST),
    "all_null_outputs": seed(40, WALK, walk(10.0, 0.05, [(2, 10), (-1, 30)]), null_outputs=0b1111),
}

out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "library")
os.makedirs(out_dir, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(out_dir, "seed_" + name), "wb") as f:
        f.write(data)
print("wrote %d seeds to %s" % (len(seeds), out_dir))
