# SPDX-License-Identifier: MIT
"""The indicators as pandas and numpy users call them: a DataFrame, two
Series or two arrays in; the caller's index, order and policies kept."""

from __future__ import annotations

from collections.abc import Sequence
from typing import Any, Optional

import numpy as np
import pandas as pd

from ._core import COLUMNS, Indicators, compute, pair
from ._policy import FloatArray, Missing, Order, Warmup, blank_warmup, check_missing, check_order, fill_missing
from ._policy import warmup_bars as _warmup_bars


class ColumnNotFoundError(ValueError):
    """The high or low column is not in the frame, or several columns match."""


def find_column(frame: Any, wanted: str, role: str) -> Any:
    """The column named `wanted`, matched exactly or else ignoring case."""
    if wanted in frame.columns:
        return wanted
    folded = str(wanted).casefold()
    matches = [column for column in frame.columns if isinstance(column, str) and column.casefold() == folded]
    if len(matches) == 1:
        return matches[0]
    if matches:
        raise ColumnNotFoundError(f"several columns could be the {role} column {wanted!r}: {matches}; name one exactly")
    raise ColumnNotFoundError(f"no {role} column {wanted!r} among the columns {list(frame.columns)}")


class _Bars:
    """The caller's prices, with their index (None for plain arrays) and the
    names to use in messages."""

    def __init__(self, high: Any, low: Any, index: Optional[pd.Index], names: tuple[str, str]) -> None:
        self.high, self.low = pair(high, low)
        self.index = index
        self.names = names


def _name(series: Any, default: str) -> str:
    name = getattr(series, "name", None)
    return name if isinstance(name, str) else default


def _bars(high: Any, low: Any, high_column: str, low_column: str) -> _Bars:
    if isinstance(high, pd.DataFrame):
        if low is not None:
            raise TypeError("a DataFrame holds both prices: name its columns with high_column= and low_column=")
        frame = high
        high_name = find_column(frame, high_column, "high")
        low_name = find_column(frame, low_column, "low")
        return _Bars(frame[high_name], frame[low_name], frame.index, (str(high_name), str(low_name)))
    if low is None:
        raise TypeError("give a DataFrame, or a high and a low series")
    names = (_name(high, "high"), _name(low, "low"))
    high_is_series, low_is_series = isinstance(high, pd.Series), isinstance(low, pd.Series)
    if high_is_series and low_is_series and not high.index.equals(low.index):
        # Pair the bars by label, never by position: the same labels in
        # another order are put in high's order; anything else is refused.
        same_labels = (high.index.is_unique and low.index.is_unique and len(high.index) == len(low.index)
                       and high.index.isin(low.index).all())
        if not same_labels:
            raise ValueError("high and low have different indexes, so their bars cannot be paired; align them "
                             "first, e.g. high, low = high.align(low, join='inner')")
        low = low.reindex(high.index)
    index = high.index if high_is_series else low.index if low_is_series else None
    return _Bars(high, low, index, names)


def _newest_first(index: Optional[pd.Index], order: str) -> bool:
    """Whether the bars run newest first; a DatetimeIndex must agree with `order`."""
    check_order(order)
    wanted_newest = order == "newest-first"
    if not isinstance(index, pd.DatetimeIndex) or len(index) < 2:
        return wanted_newest
    increasing = index.is_monotonic_increasing and index.is_unique
    decreasing = index.is_monotonic_decreasing and index.is_unique
    if (increasing and not wanted_newest) or (decreasing and wanted_newest):
        return wanted_newest
    if index.hasnans:
        raise ValueError("the DatetimeIndex holds NaT: every bar needs a time; drop those rows first")
    if not index.is_unique:
        repeated = index[index.duplicated()][0]
        raise ValueError(f"the DatetimeIndex repeats {repeated}: one row per bar is needed; drop or aggregate the "
                         "repeated rows, e.g. df[~df.index.duplicated(keep='last')]")
    if decreasing:
        raise ValueError("the DatetimeIndex runs newest first: pass order='newest-first' to compute in time order "
                         "and get the results in this order, or sort it oldest first with .sort_index()")
    if increasing:
        raise ValueError("order='newest-first' was given but the DatetimeIndex runs oldest first: drop the option")
    step = int(np.flatnonzero(np.diff(index.asi8) <= 0)[0]) + 1
    raise ValueError(f"the DatetimeIndex is not in time order ({index[step]} follows {index[step - 1]}): sort it "
                     "with .sort_index(), which puts the oldest bar first")


def _run(bars: _Bars, columns: Sequence[str], missing: str, warmup: Warmup, order: str) -> dict[str, FloatArray]:
    """The indicators in the caller's order, computed in time order."""
    check_missing(missing)
    _warmup_bars(warmup, columns[0])
    newest_first = _newest_first(bars.index, order)
    high, low = bars.high, bars.low
    labels: Optional[Sequence[object]] = None if bars.index is None else bars.index
    if newest_first:
        high, low = high[::-1], low[::-1]
        labels = None if bars.index is None else bars.index[::-1]
    high = np.ascontiguousarray(fill_missing(high, missing, bars.names[0], labels))
    low = np.ascontiguousarray(fill_missing(low, missing, bars.names[1], labels))
    outs = compute(high, low, columns)
    for column, values in outs.items():
        blank_warmup(values, warmup, column)
        if newest_first:
            outs[column] = np.ascontiguousarray(values[::-1])
    return outs


def indicators(high: Any, low: Any = None, *, missing: Missing = "error", warmup: Warmup = "values",
               order: Order = "oldest-first", high_column: str = "high", low_column: str = "low") -> Any:
    """All four indicators from one pass of the engine.

    indicators(frame)      a pandas DataFrame with high and low columns (found
        ignoring case; high_column/low_column name others): a DataFrame of
        cycle_period, signal_to_noise, swing_position and trend_vigor on the
        frame's index.
    indicators(high, low)  two Series (paired by index label) or array-likes
        of equal length: a DataFrame for Series, else an Indicators named
        tuple of four float32 arrays.

    missing  "error" (a missing price raises ValueError naming the bar),
             "previous" (repeat the previous bar's price) or "nan" (hand NaN
             to the library, which then freezes three indicators).
    warmup   "values" (the library's start-up values), "nan" (NaN on each
             indicator's start-up bars, see WARMUP) or N (NaN on the first N).
    order    "oldest-first", or "newest-first" to compute in time order and
             return the results in the caller's order.
    """
    bars = _bars(high, low, high_column, low_column)
    outs = _run(bars, COLUMNS, missing, warmup, order)
    if bars.index is not None:
        return pd.DataFrame(outs, index=bars.index)
    return Indicators(*(outs[column] for column in COLUMNS))


def _one(column: str, high: Any, low: Any, missing: Missing, warmup: Warmup, order: Order, high_column: str,
         low_column: str) -> Any:
    bars = _bars(high, low, high_column, low_column)
    values = _run(bars, (column,), missing, warmup, order)[column]
    if bars.index is not None:
        return pd.Series(values, index=bars.index, name=column)
    return values


def cycle_period(high: Any, low: Any = None, *, missing: Missing = "error", warmup: Warmup = "values",
                 order: Order = "oldest-first", high_column: str = "high", low_column: str = "low") -> Any:
    """Length in bars of the dominant cycle, 6 to 30, per bar; 0 on bars 1-2
    and 18 on bars 3-14 while warming up.  Arguments as indicators(); a
    Series named cycle_period for pandas input, else a float32 array."""
    return _one("cycle_period", high, low, missing, warmup, order, high_column, low_column)


def signal_to_noise_ratio(high: Any, low: Any = None, *, missing: Missing = "error", warmup: Warmup = "values",
                          order: Order = "oldest-first", high_column: str = "high", low_column: str = "low") -> Any:
    """Strength of the dominant cycle against the bar range, 1 to 12, per bar;
    1.0 on bars 1-12.  Arguments as indicators(); a Series named
    signal_to_noise for pandas input, else a float32 array."""
    return _one("signal_to_noise", high, low, missing, warmup, order, high_column, low_column)


def swing_position(high: Any, low: Any = None, *, missing: Missing = "error", warmup: Warmup = "values",
                   order: Order = "oldest-first", high_column: str = "high", low_column: str = "low") -> Any:
    """Where the cycle stands in its swing, -5 (bottom) to +5 (top), per bar.
    Arguments as indicators(); a Series named swing_position for pandas
    input, else a float32 array."""
    return _one("swing_position", high, low, missing, warmup, order, high_column, low_column)


def trend_vigor(high: Any, low: Any = None, *, missing: Missing = "error", warmup: Warmup = "values",
                order: Order = "oldest-first", high_column: str = "high", low_column: str = "low") -> Any:
    """Price change over one cycle in units of the cycle's amplitude, -10 to
    +10, per bar.  Arguments as indicators(); a Series named trend_vigor for
    pandas input, else a float32 array."""
    return _one("trend_vigor", high, low, missing, warmup, order, high_column, low_column)
