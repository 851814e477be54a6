#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Timing and memory of the extension against the running test server
(PGHOST, PGPORT, PGUSER from the environment).

Timing, printed only: all four indicators of 2,000 symbols x 2,500 bars by
the window function, beside the same query with row_number() (what sorting
and windowing costs by itself) and the C batch call over the same prices.

Memory, checked: a backend that computes a 1,000,000-row partition and then
100,000 partitions of 10 rows, three times over, must not grow from the
second round to the third (a stream or a row left behind per partition
would be 12 KiB each, 1.2 GB per round).

usage: measure.py BATCH_TIMING_PROGRAM
"""
import re
import subprocess
import sys
import time

SYMBOLS, BARS = 2000, 2500


def psql(sql: str) -> str:
    return subprocess.run(["psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-d", "postgres", "-c", sql],
                          check=True, capture_output=True, text=True).stdout.strip()


def timed(sql: str) -> float:
    start = time.monotonic()
    psql(sql)
    return time.monotonic() - start


def main() -> None:
    psql("CREATE EXTENSION IF NOT EXISTS tamselcharts")
    psql("DROP TABLE IF EXISTS timing_bars")
    psql(f"""CREATE TABLE timing_bars AS
               SELECT s AS symbol, t AS ts, (100 + sin(t / 7.0 + s) * 3 + s * 0.01)::real AS high,
                      (99 + sin(t / 7.0 + s) * 3 + s * 0.01)::real AS low
                 FROM generate_series(1, {SYMBOLS}) s, generate_series(1, {BARS}) t""")
    psql("VACUUM ANALYZE timing_bars")
    window = "WINDOW w AS (PARTITION BY symbol ORDER BY ts)"
    baseline = timed(f"SELECT count(n) FROM (SELECT row_number() OVER w AS n FROM timing_bars {window}) s")
    indicators = timed(f"SELECT count(v) FROM (SELECT tamsel_indicators(high, low) OVER w AS v FROM timing_bars {window}) s")
    batch = max(1e-6, float(subprocess.run([sys.argv[1], str(SYMBOLS), str(BARS)], check=True, capture_output=True,
                                 text=True).stdout.split()[0]))
    print(f"   {SYMBOLS} symbols x {BARS} bars: tamsel_indicators {indicators:.2f} s, row_number() alone "
          f"{baseline:.2f} s, C batch {batch:.2f} s; SQL / batch {indicators / batch:.1f}x, "
          f"(SQL - row_number) / batch {(indicators - baseline) / batch:.1f}x")
    psql("DROP TABLE timing_bars")

    rounds = 3
    script = ["CREATE TEMP TABLE rss (round int, kib bigint)"]
    for r in range(1, rounds + 1):
        script += [
            "SELECT count(v) FROM (SELECT tamsel_indicators(t, t - 1) OVER (ORDER BY t) AS v "
            "FROM generate_series(1, 1000000) t) s",
            "SELECT count(v) FROM (SELECT tamsel_indicators(t, t - 1) OVER (PARTITION BY t / 10 ORDER BY t) AS v "
            "FROM generate_series(1, 1000000) t) s",
            f"INSERT INTO rss SELECT {r}, substring(pg_read_file('/proc/' || pg_backend_pid() || '/status') "
            "FROM 'VmRSS:\\s+(\\d+)')::bigint",
        ]
    script.append("SELECT string_agg(kib::text, ' ' ORDER BY round) FROM rss")
    script.append("SELECT sum(total_bytes) / 1024 FROM pg_backend_memory_contexts")
    result = subprocess.run(["psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-d", "postgres"],
                            input=";\n".join(script) + ";\n", check=True, capture_output=True, text=True).stdout
    lines = [line for line in result.splitlines() if line.strip()]
    rss = [int(k) for k in lines[-2].split()]
    contexts = round(float(lines[-1]))
    print(f"   backend RSS after each round (KiB): {' '.join(map(str, rss))}; memory contexts {contexts} KiB")
    growth = rss[-1] - rss[-2]
    if growth > 16 * 1024:
        raise SystemExit(f"the backend grew by {growth} KiB from round {rounds - 1} to {rounds}: memory left behind")


if __name__ == "__main__":
    main()
