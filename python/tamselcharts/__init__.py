"""TamselCharts: four cycle-based market indicators over numpy, pandas and Dask.

    import tamselcharts as tc
    tc.indicators(df)               # DataFrame: cycle_period, signal_to_noise,
                                    #            swing_position, trend_vigor
    tc.cycle_period(high, low)      # float32 array, one value per bar
    tc.plot(df, "chart.png")        # the price above the four indicators
    tc.Stream().push(high, low)     # one bar at a time, live

The numbers are those of the TamselCharts C library, bit for bit: prices are
rounded to float32 as the library takes them.  tamselcharts.dask computes
many symbols on a Dask cluster.
"""

from ._core import (
    COLUMNS,
    Indicators,
    Stream,
    Values,
    cycle_period,
    indicators,
    signal_to_noise_ratio,
    swing_position,
    trend_vigor,
)
from ._library import path as library_path

__version__ = "1.1.0"

__all__ = [
    "COLUMNS",
    "Indicators",
    "Stream",
    "Values",
    "cycle_period",
    "indicators",
    "library_path",
    "plot",
    "signal_to_noise_ratio",
    "swing_position",
    "trend_vigor",
]


def __getattr__(name):
    # tamselcharts.dask and tamselcharts.chart load on first use, so that
    # importing the package needs neither Dask nor matplotlib.
    if name in ("dask", "chart"):
        import importlib

        return importlib.import_module(f"{__name__}.{name}")
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


def plot(frame, path=None, **options):
    """Draws the price and the four indicators; see tamselcharts.chart.plot.
    Needs matplotlib, which is imported only here."""
    from .chart import plot as _plot

    return _plot(frame, path, **options)
