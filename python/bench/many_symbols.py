#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Many symbols in one long DataFrame: tamselcharts.indicators(df,
by="symbol") on 2,000 symbols x 2,500 bars (rows ordered by date, the
symbols interleaved), on one thread and on one per processor, against the
library's many-series call alone on the same ready float32 arrays.

    python python/bench/many_symbols.py [symbols] [bars]

Prints the best of several runs of each and the ratios."""

import os
import sys

import numpy as np
import pandas as pd
from conversion import best_of_each

import tamselcharts as tc
from tamselcharts._core import COLUMNS, compute_many


def main():
    symbols = int(sys.argv[1]) if len(sys.argv) > 1 else 2000
    bars = int(sys.argv[2]) if len(sys.argv) > 2 else 2500
    rng = np.random.default_rng(1)
    mid = 100.0 + np.cumsum(rng.normal(scale=0.5, size=(bars, symbols)), axis=0)
    dates = pd.date_range("2010-01-01", periods=bars, freq="D")
    frame = pd.DataFrame({"date": np.repeat(dates, symbols),
                          "symbol": np.tile([f"S{s:04d}" for s in range(symbols)], bars),
                          "high": (mid + 0.3).ravel(), "low": (mid - 0.3).ravel()})
    series = [((mid[:, s] + 0.3).astype(np.float32), (mid[:, s] - 0.3).astype(np.float32)) for s in range(symbols)]
    cores = os.cpu_count() or 1
    library, one_thread, all_threads = best_of_each([
        lambda: compute_many(series, COLUMNS),
        lambda: tc.indicators(frame, by="symbol"),
        lambda: tc.indicators(frame, by="symbol", threads=None),
    ], runs=3)
    print(f"numpy {np.__version__}, pandas {pd.__version__}, {symbols:,} symbols x {bars:,} bars, {cores} cores")
    print(f"library's many-series call          {library:8.3f} s")
    print(f"indicators(df, by='symbol')         {one_thread:8.3f} s  {one_thread / library:5.2f} x the call")
    print(f"  threads=None ({cores} threads)          {all_threads:8.3f} s  {all_threads / library:5.2f} x the call")


if __name__ == "__main__":
    main()
