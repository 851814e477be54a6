# SPDX-License-Identifier: MIT
"""What the caller asked for besides the prices: missing prices, warm-up bars
and bar order, checked once and applied to plain float32 arrays in time order.

The words are those of `tamsel --missing`: "error" refuses a missing price,
"previous" repeats the bar before's price of that column (and refuses a gap
on the first bar, which has none), "nan" hands NaN to the library.
"""

from __future__ import annotations

from collections.abc import Sequence
from typing import Literal, Union

import numpy as np
import numpy.typing as npt

Missing = Literal["error", "previous", "nan"]
Order = Literal["oldest-first", "newest-first"]
Warmup = Union[Literal["values", "nan"], int]
FloatArray = npt.NDArray[np.float32]

MISSING_POLICIES: tuple[str, ...] = ("error", "previous", "nan")
ORDERS: tuple[str, ...] = ("oldest-first", "newest-first")

#: Each indicator's start-up bars: the first bars whose value still reflects
#: the zeroed state before bar 1 rather than the prices.
#:   cycle_period     14  0 on bars 1-2, exactly 18 on bars 3-14: the filter
#:                        bank first runs on bar 13 and the five-bar median
#:                        holds the start value 18 through bar 14.
#:   signal_to_noise  12  exactly 1.0: the signal stays 0 until the filter
#:                        bank's first power on bar 13.
#:   swing_position   50  the 51-bar high/low window still holds start values
#:                        of 0.0 from before bar 1.
#:   trend_vigor      29  the price change over one cycle reaches back to 0.0
#:                        before bar 1: always on bars 1-14, and through bar
#:                        29 whenever the measured cycle (at most 30 bars, a
#:                        look-back of at most 29) is longer than the bars so far.
WARMUP: dict[str, int] = {
    "cycle_period": 14,
    "signal_to_noise": 12,
    "swing_position": 50,
    "trend_vigor": 29,
}

class MissingPriceError(ValueError):
    """A missing or infinite price that the chosen policy does not accept."""


_HOW_TO_FIX = "missing='previous' repeats the previous bar's value, missing='nan' passes NaN through"


def check_missing(missing: str) -> None:
    if missing not in MISSING_POLICIES:
        raise ValueError(f"missing must be one of {', '.join(map(repr, MISSING_POLICIES))}, not {missing!r}")


def check_order(order: str) -> None:
    if order not in ORDERS:
        raise ValueError(f"order must be one of {', '.join(map(repr, ORDERS))}, not {order!r}")


def warmup_bars(warmup: Warmup, column: str) -> int:
    """How many leading bars (in time order) of `column` become NaN."""
    if isinstance(warmup, bool) or not isinstance(warmup, (int, np.integer, str)):
        raise TypeError(f"warmup must be 'values', 'nan' or a number of bars, not {warmup!r}")
    if isinstance(warmup, str):
        if warmup == "values":
            return 0
        if warmup == "nan":
            return WARMUP[column]
        raise ValueError(f"warmup must be 'values', 'nan' or a number of bars, not {warmup!r}")
    if warmup < 0:
        raise ValueError(f"warmup must be a number of bars of at least 0, not {warmup}")
    return int(warmup)


def _describe(labels: Sequence[object] | None, position: int) -> str:
    if labels is None:
        return f"bar {position} (0-based)"
    label = labels[position]
    return f"index {label!r} (row {position})" if isinstance(label, str) else f"index {label} (row {position})"


def fill_missing(price: FloatArray, missing: str, column: str, labels: Sequence[object] | None) -> FloatArray:
    """The prices the library gets for one column, in time order.

    labels are the caller's index labels in the same (time) order, for the
    message; an infinite price (or one beyond float32's range) is refused
    like a missing one unless missing="nan" asks for everything as it is.
    """
    if missing == "nan" or price.size == 0:
        return price
    bad = ~np.isfinite(price)
    if not bad.any():
        return price
    first = int(np.argmax(bad))
    where = f"column {column!r}: {_describe(labels, first)}"
    if np.isinf(price[first]):
        raise MissingPriceError(f"{where}: {price[first]} is not a finite price (or is beyond float32's range); "
                         "drop or correct the bar, or pass missing='nan' to hand it to the library as it is")
    if missing == "error":
        raise MissingPriceError(f"{where}: missing price (one NaN would freeze the cycle spectrum for the rest of "
                         f"the series; {_HOW_TO_FIX})")
    infinite = np.isinf(price)
    if infinite.any():
        later = int(np.argmax(infinite))
        raise MissingPriceError(f"column {column!r}: {_describe(labels, later)}: {price[later]} is not a finite price "
                         "(or is beyond float32's range); drop or correct the bar")
    if first == 0:
        raise MissingPriceError(f"{where}: missing price on the first bar, which has no previous bar to repeat; "
                         "drop the leading bars without prices, or pass missing='nan'")
    # Forward fill: each bar takes the newest earlier position with a price.
    source = np.where(bad, 0, np.arange(price.size))
    np.maximum.accumulate(source, out=source)
    filled: FloatArray = price[source]
    return filled


def blank_warmup(values: FloatArray, warmup: Warmup, column: str) -> FloatArray:
    bars = warmup_bars(warmup, column)
    if bars:
        values[:bars] = np.nan
    return values
