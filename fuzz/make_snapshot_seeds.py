#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the snapshot targets' seed corpus (fuzz/corpus/snapshot/seed_*).

    make_snapshot_seeds.py LIBTAMSELCHARTS.so [OUTPUT_DIRECTORY]

The seeds are snapshots the library itself saves (streams after 0, 1, 13,
27, 51, 1023, 1025 and 3000 bars of three series, under each missing-price
policy), some with a tail of later bars' actions and prices (see
snapshot_checks.cpp), then cut snapshots, and snapshots changed field by
field with their CRC-32C recomputed (docs/snapshot-format.md gives the
offsets), so that a fuzzer starts from states past the checksum: ones the
loader must take and ones it must refuse.  Re-running it with the same
library rewrites the seeds identically.
"""
import ctypes
import math
import os
import struct
import sys

BAR_AT, TUNED_PERIOD_AT, SWING_RING_AT, TREND_MIDS_AT = 24, 2672, 3096, 3100
POLICY_FROM_END, PREVIOUS_HIGH_FROM_END = 28, 20
BAR_COUNTS = (0, 1, 13, 27, 51, 1023, 1025, 3000)
POLICIES = ("error", "previous", "nan")
# Three bytes a bar (action, high, low; snapshot_checks.cpp): plain pushes,
# NaN and infinite prices under the stream's policy, a policy change.
TAIL = bytes([0, 0x50, 0x48, 1, 0x60, 0x58, 0, 0, 0x40, 2, 1, 0x40, 3 | 2 << 2, 0, 0, 0, 0x51, 3, 2, 4, 5, 1, 6, 7])


class Values(ctypes.Structure):
    _fields_ = [(name, ctypes.c_float) for name in ("cycle", "snr", "swing", "vigor")]


class Problem(ctypes.Structure):
    _fields_ = [("kind", ctypes.c_int), ("bar", ctypes.c_int), ("column", ctypes.c_int), ("price", ctypes.c_double)]


def crc32c(data):
    crc = 0xFFFFFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0x82F63B78 if crc & 1 else crc >> 1
    return crc ^ 0xFFFFFFFF


def resealed(data):
    return data[:-4] + struct.pack("<I", crc32c(data[:-4]))


def prices(kind, bars):
    """The series' (high, low) pairs: a walk, a flat market, a walk with gaps."""
    state, mid = 12345, 100.0
    for i in range(bars):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        if kind == "flat":
            yield 50.0, 50.0
            continue
        mid += (state % 201 - 100) / 50.0
        high, low = mid + 1 + state % 7 / 4, mid - 1
        if kind == "gaps" and i % 37 == 5:
            high = math.nan
        if kind == "gaps" and i % 101 == 50:
            low = math.inf
        yield high, low


def snapshot(lib, kind, bars, policy):
    stream = lib.TamselChart_StreamCreate()
    lib.TamselChart_StreamSetMissingPolicy(stream, policy)
    values, problem = Values(), Problem()
    pushed = 0
    for high, low in prices(kind, 4 * bars + 10):
        if pushed == bars:
            break
        if lib.TamselChart_StreamPushPrices(stream, ctypes.c_double(high), ctypes.c_double(low), ctypes.byref(values),
                                            ctypes.byref(problem)):
            pushed += 1
    size = lib.TamselChart_StreamSave(stream, None, 0)
    buffer = ctypes.create_string_buffer(size)
    lib.TamselChart_StreamSave(stream, buffer, size)
    lib.TamselChart_StreamDestroy(stream)
    return buffer.raw


def forged(base, at, packed):
    return resealed(base[:at] + packed + base[at + len(packed):])


def main():
    lib = ctypes.CDLL(sys.argv[1])
    lib.TamselChart_StreamCreate.restype = ctypes.c_void_p
    lib.TamselChart_StreamSetMissingPolicy.argtypes = [ctypes.c_void_p, ctypes.c_int]
    lib.TamselChart_StreamPushPrices.argtypes = [ctypes.c_void_p, ctypes.c_double, ctypes.c_double,
                                                 ctypes.c_void_p, ctypes.c_void_p]
    lib.TamselChart_StreamSave.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    lib.TamselChart_StreamDestroy.argtypes = [ctypes.c_void_p]
    out_dir = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(__file__), "corpus", "snapshot")
    os.makedirs(out_dir, exist_ok=True)
    seeds = {}
    for i, bars in enumerate(BAR_COUNTS):
        for p, policy in enumerate(POLICIES):
            kind = ("walk", "flat", "gaps")[(i + p) % 3]
            data = snapshot(lib, kind, bars, p)
            seeds[f"seed_{kind}_{bars}_{policy}"] = data + (TAIL if (i + p) % 2 else b"")
    base = snapshot(lib, "walk", 1025, 1)
    size = len(base)
    for cut in (1, 7, 8, 27, 28, 100, size - 1):
        seeds[f"seed_cut_{cut}"] = base[:cut]
    seeds["seed_longer"] = base + b"\0"
    end = size
    seeds["seed_forged_version_1_1_0"] = forged(base, 12, struct.pack("<4H", 1, 1, 0, 0))
    seeds["seed_forged_reserved_field"] = forged(base, 18, struct.pack("<H", 7))
    seeds["seed_forged_format_2"] = forged(base, 8, struct.pack("<I", 2))
    seeds["seed_forged_stated_size"] = forged(base, 20, struct.pack("<I", size + 1))
    seeds["seed_forged_bar_ceiling"] = forged(base, BAR_AT, struct.pack("<i", 2**31 - 1)) + TAIL
    seeds["seed_forged_bar_negative"] = forged(base, BAR_AT, struct.pack("<i", -1))
    seeds["seed_forged_tuned_period_nan"] = forged(base, TUNED_PERIOD_AT, struct.pack("<d", math.nan))
    seeds["seed_forged_swing_ring_51"] = forged(base, SWING_RING_AT, struct.pack("<i", 51))
    seeds["seed_forged_policy_3"] = forged(base, end - POLICY_FROM_END, struct.pack("<i", 3))
    seeds["seed_forged_previous_not_a_float"] = forged(base, end - PREVIOUS_HIGH_FROM_END, struct.pack("<d", 1e300))
    seeds["seed_forged_previous_nan_payload"] = forged(base, end - PREVIOUS_HIGH_FROM_END,
                                                       struct.pack("<Q", 0x7FF0000000000001))
    seeds["seed_forged_huge_history"] = forged(base, TREND_MIDS_AT, struct.pack("<3d", 1e308, -math.inf, math.nan)) + TAIL
    fresh = snapshot(lib, "walk", 0, 0)
    seeds["seed_forged_new_stream_not_zero"] = forged(fresh, TREND_MIDS_AT, struct.pack("<d", 1.0))
    for name, data in sorted(seeds.items()):
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
