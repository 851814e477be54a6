#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the CSV target's seed corpus (fuzz/corpus/csv/seed_*).

Each seed is two option bytes (delimiter and conversion choices; read sizes
and buffer size, see fuzz/csv_fuzzer.cpp) followed by the file.  Re-running
it rewrites the seeds identically.
"""
import os
import sys

SNIFF, COMMA, SEMICOLON, TAB, PIPE = 0, 1, 2, 3, 4
MISSING_PREVIOUS, MISSING_NAN = 1 << 3, 2 << 3


def seed(text, delimiter=SNIFF, missing=0, indicators=0, largest_read=16, buffer=64):
    options = delimiter | missing | indicators << 5
    sizes = (largest_read - 1) | ((buffer - 4) // 4) << 4
    data = text.encode("utf-8") if isinstance(text, str) else text
    return bytes([options, sizes]) + data


def bars(n, delimiter=",", ending="\n", start=100.0):
    rows = ["Date%sOpen%sHigh%sLow%sClose" % ((delimiter,) * 4)]
    price = start
    for i in range(n):
        price += ((i * 7919) % 13 - 6) * 0.25
        rows.append(delimiter.join(["2024-01-%02d" % (i % 28 + 1), "%.2f" % price, "%.2f" % (price + 1.5),
                                    "%.2f" % (price - 1.25), "%.2f" % (price + 0.5)]))
    return ending.join(rows) + ending


seeds = {
    "empty": seed(""),
    "header_only": seed("Date,High,Low\n"),
    "daily_comma": seed(bars(40)),
    "daily_semicolon_decimal_comma": seed(bars(30, ";").replace(".", ","), SEMICOLON),
    "daily_tab_crlf": seed(bars(30, "\t", "\r\n"), TAB, largest_read=3, buffer=4),
    "pipe_lone_cr": seed(bars(20, "|", "\r"), PIPE, largest_read=1, buffer=8),
    "byte_order_mark": seed(b"\xef\xbb\xbf" + bars(10).encode(), COMMA),
    "quoted_fields": seed('Date,"High","Low"\n"2024-01-02","1,5","1"\n"a ""q"" b",2,"multi\nline"\n', COMMA),
    "quoted_after_close": seed('High,Low\n"1"x,2\n', COMMA),
    "unclosed_quote": seed('High,Low\n"1,2\n3,4\n', COMMA),
    "blank_lines": seed("High,Low\n\n\r\n\r2,1\n\n3,2\n", COMMA),
    "missing_cells_previous": seed("High,Low\n2,1\n,\nnull,NaN\n4,3\n", COMMA, MISSING_PREVIOUS),
    "missing_cells_nan": seed("High,Low\n2,1\nn/a,\n4,3\n", COMMA, MISSING_NAN, indicators=5),
    "bad_numbers": seed("High,Low\n1e39,-1e39\n+-1,0x10\ninf,-inf\n1e-46,4.9e-324\n", COMMA),
    "no_high_column": seed("Date,Close\n2024-01-02,3\n", COMMA),
    "ragged_rows": seed("High,Low,Extra\n2,1\n3,2,x,y\n", COMMA, indicators=7),
    "no_final_line_ending": seed("High,Low\n2,1\n3,2", COMMA),
}

out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "csv")
os.makedirs(out_dir, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(out_dir, "seed_" + name), "wb") as f:
        f.write(data)
print("wrote %d seeds to %s" % (len(seeds), out_dir))
