# SPDX-License-Identifier: MIT
"""What the caller asked for besides the prices: missing prices, warm-up bars
and bar order, checked once.

The missing-price policy itself is the C library's (the words are those of
`tamsel --missing`): "error" refuses a missing price, "previous" repeats the
bar before's price of that column (and refuses a gap on the first bar,
which has none), "nan" hands every price to the indicators as it is.  This
module turns the library's report of a refused price into an error in
Python's terms.
"""

from __future__ import annotations

import ctypes
from collections.abc import Callable
from typing import Literal, Optional, Union

import numpy as np
import numpy.typing as npt

from . import _interruptible
from ._library import PriceProblem
from ._library import lib as _lib
from ._table import INDICATORS

Missing = Literal["error", "previous", "nan"]
Order = Literal["oldest-first", "newest-first"]
Warmup = Union[Literal["values", "nan"], int]
FloatArray = npt.NDArray[np.float32]
DoubleArray = npt.NDArray[np.float64]


def _policy_names() -> tuple[str, ...]:
    names: list[str] = []
    while (name := _lib.TamselChart_MissingPolicyName(len(names))) is not None:
        names.append(name.decode())
    return tuple(names)


MISSING_POLICIES: tuple[str, ...] = _policy_names()
ORDERS: tuple[str, ...] = ("oldest-first", "newest-first")

#: Each indicator's start-up bars, from the library's indicator table: the
#: first bars whose value still reflects the zeroed state before bar 1
#: rather than the prices.
WARMUP: dict[str, int] = {indicator.column: indicator.warmup_bars for indicator in INDICATORS}

_PRICE_MISSING, _PRICE_NO_PREVIOUS = 1, 4


class MissingPriceError(ValueError):
    """A missing, infinite or out-of-range price that the chosen policy does not accept."""


def check_missing(missing: str) -> int:
    """The library's number of the policy."""
    if missing not in MISSING_POLICIES:
        raise ValueError(f"missing must be one of {', '.join(map(repr, MISSING_POLICIES))}, not {missing!r}")
    return MISSING_POLICIES.index(missing)


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


def blank_warmup(values: FloatArray, warmup: Warmup, column: str) -> FloatArray:
    bars = warmup_bars(warmup, column)
    if bars:
        values[:bars] = np.nan
    return values


def refusal(problem: PriceProblem, where: str, missing: str, option: str = "missing='{}'") -> MissingPriceError:
    """The library's report as an error: where (in the caller's terms), what,
    and the ways out that would accept the price (option spells the
    keyword as the caller writes it)."""
    text = _lib.TamselChart_PriceProblemText(problem.kind).decode()
    message = f"{where}: {text} ({problem.price!r})"
    previous, nan = option.format("previous"), option.format("nan")
    if problem.kind == _PRICE_MISSING:
        # One NaN freezes the cycle spectrum for the rest of the series.
        message += f"; {previous} repeats the previous bar's price, {nan} passes it to the indicators as it is"
    elif problem.kind == _PRICE_NO_PREVIOUS:
        message += f"; drop the leading bars without prices, or pass {nan}"
    elif missing != "nan":
        message += f"; drop or correct the bar, or pass {nan} to hand it to the indicators as it is"
    return MissingPriceError(message)


def _taken(high: DoubleArray, low: DoubleArray, policy: int) -> tuple[FloatArray, FloatArray, Optional[PriceProblem]]:
    """The library's policy over float64 prices: float32 prices, and the
    problem where it refused one (None where it took them all)."""
    count = high.shape[0]
    high_out = np.empty(count, dtype=np.float32)
    low_out = np.empty(count, dtype=np.float32)
    if count == 0:
        return high_out, low_out, None
    high = np.ascontiguousarray(high, dtype=np.float64)
    low = np.ascontiguousarray(low, dtype=np.float64)
    problem = PriceProblem()
    done = _interruptible.call(_lib.TamselChart_ApplyMissingPolicy, count, (high, low, high_out, low_out, problem),
                               high.ctypes.data, low.ctypes.data, count, policy, high_out.ctypes.data,
                               low_out.ctypes.data, ctypes.byref(problem))
    return high_out, low_out, (None if done == count else problem)


def apply_missing(high: DoubleArray, low: DoubleArray, missing: str,
                  where: Callable[[int, int], str]) -> tuple[FloatArray, FloatArray]:
    """The float32 prices the indicators get, in time order, under the policy.

    high and low are float64 in time order, so that a price beyond float32's
    range is seen as such; where(bar, column) names a refused price's place
    (bar 1-based in time order, column 0 high / 1 low) for the message.
    """
    high_out, low_out, problem = _taken(high, low, check_missing(missing))
    if problem is not None:
        raise refusal(problem, where(problem.bar, problem.column), missing)
    return high_out, low_out


def taken_as_they_are(high: DoubleArray, low: DoubleArray) -> Optional[tuple[FloatArray, FloatArray]]:
    """The float32 prices where every one is a finite float32, as every
    policy takes such prices: whatever series they are cut into, each gets
    what its own apply_missing() would give it.  None where some price is
    missing, infinite or out of range, which only a series' own pass under
    its policy can settle (or report in the series' terms)."""
    high_out, low_out, problem = _taken(high, low, MISSING_POLICIES.index("error"))
    return None if problem is not None else (high_out, low_out)
