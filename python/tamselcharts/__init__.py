# SPDX-License-Identifier: MIT
"""TamselCharts: four cycle-based market indicators over numpy, pandas and Dask.

    import tamselcharts as tc
    tc.indicators(df)               # DataFrame on df's index: cycle_period,
                                    #   signal_to_noise, swing_position, trend_vigor
    tc.cycle_period(df.High, df.Low)   # a Series named cycle_period
    df.tamsel.indicators(append=True)  # the same through the DataFrame accessor
    tc.plot(df, "chart.png")        # the price above the four indicators
    tc.Stream().push(high, low)     # one bar at a time, live
    tc.StreamSet(500).push(highs, lows)  # a bar for each of 500 symbols at once

Every entry point takes missing="error"|"previous"|"nan" (a missing price
raises by default), warmup="values"|"nan"|N (WARMUP gives each indicator's
start-up bars) and, for series, order="oldest-first"|"newest-first".  The
numbers are those of the TamselCharts C library, bit for bit: prices are
rounded to float32 as the library takes them.  tamselcharts.dask computes
many symbols on a Dask cluster, tamselcharts.polars gives polars expressions
and tamselcharts.arrow takes and gives Arrow data (DuckDB's too); the
`tamsel` command converts CSV files.
"""

from __future__ import annotations

import importlib
from typing import Any

from . import accessor as _accessor  # registers df.tamsel
from ._api import ColumnNotFoundError, cycle_period, indicators, signal_to_noise_ratio, swing_position, trend_vigor
from ._core import COLUMNS, Indicators, Values
from ._library import path as library_path
from ._policy import WARMUP, MissingPriceError
from ._stream import SnapshotError, Stream
from ._stream_set import SetValues, StreamSet
from ._tool_bars import PriceFileError
from tamselcharts_tool import tool_path

def _package_version() -> str:
    # Set at build time from the C header's version macros (setup.py); the
    # loaded library's own version when the package runs uninstalled.
    from importlib import metadata

    try:
        return metadata.version("tamselcharts")
    except metadata.PackageNotFoundError:
        from ._library import lib

        return str(lib.TamselChart_Version().decode())


__version__ = _package_version()

__all__ = [
    "COLUMNS",
    "ColumnNotFoundError",
    "Indicators",
    "MissingPriceError",
    "PriceFileError",
    "SetValues",
    "SnapshotError",
    "Stream",
    "StreamSet",
    "Values",
    "WARMUP",
    "cycle_period",
    "indicators",
    "library_path",
    "plot",
    "signal_to_noise_ratio",
    "swing_position",
    "tool_path",
    "trend_vigor",
]

del _accessor


def __getattr__(name: str) -> Any:
    # tamselcharts.dask, .chart, .polars and .arrow load on first use, so
    # that importing the package needs neither Dask, matplotlib, polars nor
    # pyarrow.
    if name in ("dask", "chart", "polars", "arrow"):
        return importlib.import_module(f"{__name__}.{name}")
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


def plot(frame: Any, path: Any = None, **options: Any) -> Any:
    """Draws the price and the four indicators; see tamselcharts.chart.plot.
    Needs matplotlib, which is imported only here."""
    from .chart import plot as _plot

    return _plot(frame, path, **options)
