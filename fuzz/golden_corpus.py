#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the golden series as library fuzz inputs, so that the corpus digests
(fuzz/output_digest.h) cover them too, and the digest lines the frozen golden
outputs give them.

    golden_corpus.py tests/golden/golden.bin OUTPUT_DIRECTORY EXPECTED_DIGESTS

Each series becomes OUTPUT_DIRECTORY/golden-<name>: raw high/low floats
(input mode 0, no NULL outputs, no clone; layout in fuzz/library_checks.hpp).
EXPECTED_DIGESTS gets one line per series in the replay program's format,
"golden-<name>: digest <16 hex digits> ok", computed here from the golden
outputs: a build whose replay prints another line for a series computes other
bits than the frozen ones.
"""
import re
import struct
import sys
from pathlib import Path

MAX_BARS = 3000
SHORT_BARS = 300


def read_golden(path):
    data = Path(path).read_bytes()
    if data[:8] != b"TSGOLD01":
        sys.exit(f"{path}: not a golden file")
    (count,) = struct.unpack_from("<I", data, 8)
    at = 12
    for _ in range(count):
        (name_length,) = struct.unpack_from("<I", data, at)
        at += 4
        name = data[at:at + name_length].decode()
        at += name_length
        (bars,) = struct.unpack_from("<I", data, at)
        at += 4
        words = struct.unpack_from(f"<{6 * bars}I", data, at)
        at += 24 * bars
        yield name, [words[6 * i:6 * i + 6] for i in range(bars)]


def count_field(bars):
    """The two count bytes that decode to exactly `bars`."""
    if bars <= SHORT_BARS:
        return bars
    if bars > MAX_BARS:
        sys.exit(f"a golden series of {bars} bars is longer than a fuzz input can be")
    return 0x8000 + (bars - 0x8000) % (MAX_BARS + 1)


def digest(rows):
    value = 0xCBF29CE484222325
    for output in range(2, 6):
        for row in rows:
            bits = row[output]
            if bits & 0x7F800000 == 0x7F800000 and bits & 0x007FFFFF:
                bits = 0x7FC00000
            for k in range(4):
                value = ((value ^ ((bits >> (8 * k)) & 0xFF)) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return value


def main():
    golden, directory, expected = sys.argv[1:4]
    out = Path(directory)
    out.mkdir(parents=True, exist_ok=True)
    lines = []
    for name, rows in read_golden(golden):
        file_name = "golden-" + re.sub(r"[^A-Za-z0-9._-]", "_", name)
        payload = b"".join(struct.pack("<II", row[0], row[1]) for row in rows)
        (out / file_name).write_bytes(struct.pack("<HB", count_field(len(rows)), 0) + payload)
        lines.append(f"{file_name}: digest {digest(rows):016x} ok\n")
    Path(expected).write_text("".join(sorted(lines)))


if __name__ == "__main__":
    main()
