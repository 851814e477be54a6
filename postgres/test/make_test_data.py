#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The regression tests' data, written at test time into DATA_DIR:

  golden.csv         every bar of the golden file: series, bar, high, low and
                     the four frozen outputs (exact decimal text of each float)
  policy_cases.csv   the shared missing-price cases: number, policy, highs and
                     lows as SQL arrays (a missing price is NULL), outcome

and a check that every SQL example of the README is, verbatim, a query of the
readme regression test, so the documented queries are the tested ones.

usage: make_test_data.py GOLDEN CASES README[,README...] DATA_DIR
"""
import csv
import math
import pathlib
import re
import struct
import sys


def number(value: float) -> str:
    if math.isnan(value):
        return "NaN"
    if math.isinf(value):
        return "Infinity" if value > 0 else "-Infinity"
    return repr(value)  # a float32 widened to double: exact as double text


def write_golden(golden: pathlib.Path, out: pathlib.Path) -> int:
    data = golden.read_bytes()
    if data[:8] != b"TSGOLD01":
        raise SystemExit(f"{golden}: not a golden file")
    (count,) = struct.unpack_from("<I", data, 8)
    at = 12
    bars = 0
    with out.open("w", newline="") as file:
        writer = csv.writer(file)
        for _ in range(count):
            (length,) = struct.unpack_from("<I", data, at)
            name = data[at + 4 : at + 4 + length].decode()
            at += 4 + length
            (n,) = struct.unpack_from("<I", data, at)
            at += 4
            fields = struct.unpack_from(f"<{6 * n}f", data, at)
            at += 24 * n
            for bar in range(n):
                writer.writerow([name, bar + 1] + [number(value) for value in fields[6 * bar : 6 * bar + 6]])
            bars += n
    if at != len(data):
        raise SystemExit(f"{golden}: {len(data) - at} bytes after the last series")
    return bars


def sql_array(prices: str) -> str:
    return "{" + ",".join("NULL" if p == "nan" else p for p in prices.split()) + "}"


def write_cases(cases: pathlib.Path, out: pathlib.Path) -> int:
    written = 0
    with out.open("w", newline="") as file:
        writer = csv.writer(file)
        for line in cases.read_text().splitlines():
            if not line.strip() or line.startswith("#"):
                continue
            policy, highs, lows, outcome = (part.strip() for part in line.split("|"))
            written += 1
            writer.writerow([written, policy, sql_array(highs), sql_array(lows), outcome])
    return written


def check_readme(readme: pathlib.Path, test_sql: pathlib.Path) -> int:
    examples = re.findall(r"```sql\n(.*?)```", readme.read_text(), re.S)
    tested = test_sql.read_text()
    for example in examples:
        if example not in tested:
            raise SystemExit(f"{readme}: this example is not in {test_sql}:\n{example}")
    if len(examples) < 3:
        raise SystemExit(f"{readme}: expected at least three SQL examples, found {len(examples)}")
    return len(examples)


def main() -> None:
    golden, cases = map(pathlib.Path, sys.argv[1:3])
    readmes = [pathlib.Path(name) for name in sys.argv[3].split(",")]
    data_dir = pathlib.Path(sys.argv[4])
    data_dir.mkdir(parents=True, exist_ok=True)
    test_sql = pathlib.Path(__file__).parent / "sql" / "readme.sql"
    examples = sum(check_readme(readme, test_sql) for readme in readmes)
    print(f"   {write_golden(golden, data_dir / 'golden.csv')} golden bars, "
          f"{write_cases(cases, data_dir / 'policy_cases.csv')} policy cases, "
          f"{examples} README examples")


if __name__ == "__main__":
    main()
