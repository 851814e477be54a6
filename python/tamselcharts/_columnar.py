# SPDX-License-Identifier: MIT
"""The indicators of one series held column-wise (polars, Arrow): prices as
numpy views where they already are float32, an optional time key that puts
the bars in order, and the results back in the caller's row order."""

from __future__ import annotations

from collections.abc import Callable, Sequence
from typing import Any, Optional

import numpy as np
import numpy.typing as npt

from ._core import compute, prices
from ._order import missing_time
from ._policy import FloatArray, Warmup, apply_missing, blank_warmup, check_missing, warmup_bars


def price_array(values: npt.NDArray[Any], name: str) -> npt.NDArray[Any]:
    """float32 prices as they are (no copy); anything else as float64, so
    that the missing-price policy sees a price beyond float32's range."""
    if values.dtype == np.float32 and values.ndim == 1:
        return values
    return prices(values, name)


def _taken(high: npt.NDArray[Any], low: npt.NDArray[Any], missing: str,
           where: Callable[[int, int], str]) -> tuple[FloatArray, FloatArray]:
    # float32 prices are within float32's range by construction: when every
    # one is finite, or the policy passes NaN and infinities anyway, the
    # policy would hand them over unchanged, so they go to the library as
    # they are, without a copy.
    if high.dtype == np.float32 and low.dtype == np.float32:
        if missing == "nan" or (np.isfinite(high).all() and np.isfinite(low).all()):
            return np.ascontiguousarray(high), np.ascontiguousarray(low)
    return apply_missing(np.asarray(high, dtype=np.float64), np.asarray(low, dtype=np.float64), missing, where)


def time_positions(times: Optional[npt.NDArray[Any]], what: str) -> Optional[npt.NDArray[np.intp]]:
    """The rows in time order (None: already in order); every bar needs its
    own time, so a missing or repeated time is refused."""
    if times is None or times.shape[0] < 2:
        return None
    # A NaN is no time, and would be sorted last in silence.
    if (missing := missing_time(times)) == "NaN":
        raise ValueError(f"{what} holds {missing}: every bar needs a time; drop those rows first")
    # Compared, not subtracted: a time column may hold text.
    if bool((times[1:] > times[:-1]).all()):
        return None
    order = np.argsort(times, kind="stable")
    ordered = times[order]
    repeated = np.flatnonzero(ordered[1:] == ordered[:-1])
    if repeated.size:
        raise ValueError(f"{what} repeats {ordered[repeated[0]]!r}: one row per bar is needed; drop or aggregate "
                         "the repeated rows first")
    return order


def series_indicators(high: npt.NDArray[Any], low: npt.NDArray[Any], columns: Sequence[str], missing: str,
                      warmup: Warmup, order: Optional[npt.NDArray[np.intp]],
                      describe: Callable[[int, int], str]) -> dict[str, FloatArray]:
    """The indicators in the caller's row order; describe(row, column) names
    a refused price's place (row 0-based in the caller's order)."""
    check_missing(missing)
    warmup_bars(warmup, columns[0])
    if high.shape[0] != low.shape[0]:
        raise ValueError(f"high and low must have equal lengths, got {high.shape[0]} and {low.shape[0]}")
    if order is not None:
        high, low = high[order], low[order]

    def where(bar: int, column: int) -> str:
        return describe(int(order[bar - 1]) if order is not None else bar - 1, column)

    taken_high, taken_low = _taken(high, low, missing, where)
    outs = {}
    for column, values in compute(taken_high, taken_low, columns).items():
        values = blank_warmup(values, warmup, column)
        if order is not None:
            back = np.empty_like(values)
            back[order] = values
            values = back
        outs[column] = values
    return outs
