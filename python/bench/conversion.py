#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""What the pandas conversions cost: tamselcharts.indicators(df) on one
1,000,000-bar frame against the library's own call on ready float32 arrays.

    python python/bench/conversion.py [bars]

Prints the best of several runs of each and their ratio."""

import sys
import time

import numpy as np
import pandas as pd

import tamselcharts as tc
from tamselcharts._core import COLUMNS, compute


def best_of_each(calls, runs=9):
    """The fastest run of each call, the calls taking turns so that the
    load of a shared machine falls on all of them alike."""
    times = [[] for _ in calls]
    for _ in range(runs):
        for call, taken in zip(calls, times):
            started = time.perf_counter()
            call()
            taken.append(time.perf_counter() - started)
    return [min(taken) for taken in times]


def main():
    bars = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
    rng = np.random.default_rng(1)
    mid = 100.0 + np.cumsum(rng.normal(scale=0.5, size=bars))
    frame = pd.DataFrame({"High": mid + 0.3, "Low": mid - 0.3},
                         index=pd.date_range("1990-01-01", periods=bars, freq="min"))
    high, low = frame["High"].to_numpy(np.float32), frame["Low"].to_numpy(np.float32)
    library, through_pandas = best_of_each([lambda: compute(high, low, COLUMNS), lambda: tc.indicators(frame)])
    print(f"numpy {np.__version__}, pandas {pd.__version__}, {bars:,} bars")
    print(f"library call      {library * 1000:8.1f} ms")
    print(f"indicators(frame) {through_pandas * 1000:8.1f} ms   ratio {through_pandas / library:.2f}")


if __name__ == "__main__":
    main()
