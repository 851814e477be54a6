# SPDX-License-Identifier: MIT
"""The library's batch exports over arrays: the caller's prices as the
float64 numbers the missing-price policy looks at, and one call per
indicator (or one pass for all of them)."""

from __future__ import annotations

import ctypes
import math
import numbers
import os
from collections.abc import Sequence
from typing import Any, NamedTuple

import numpy as np

from . import _interruptible
from ._library import SeriesIO
from ._library import lib as _lib
from ._policy import DoubleArray, FloatArray
from ._table import BY_COLUMN, INDICATORS

COLUMNS: tuple[str, ...] = tuple(indicator.column for indicator in INDICATORS)

# The named tuples' fields are the table's column names, in the table's order.
Values = NamedTuple("Values", [(column, float) for column in COLUMNS])  # type: ignore[misc]
Values.__doc__ = "The four values of one bar, as a stream gives them."
Indicators = NamedTuple("Indicators", [(column, FloatArray) for column in COLUMNS])  # type: ignore[misc]
Indicators.__doc__ = "The four indicator series of a whole high/low series, float32 arrays."

_INT_MAX = 2**31 - 1
# A finite double beyond float32's range: what a Python int too large for
# any float becomes, so that the policy reports it as an out-of-range price.
_BEYOND_FLOAT = float(np.finfo(np.float64).max)


def _refuse_text(dtype: Any, name: str) -> None:
    """Text, categories and truth values are no prices, whatever they look like."""
    text = str(dtype)
    if text in ("string", "category", "boolean") or text.startswith("string["):
        raise TypeError(f"{name} must hold numbers, not {text} values; convert the column with "
                        "pd.to_numeric() first if it holds prices as text")


def _number(value: Any, name: str, position: int) -> float:
    """One element of an object array as a price: None, NaN, pd.NA and NaT
    are missing prices; text and truth values are refused."""
    if value is None or value is _pandas_na() or value is _pandas_nat():
        return math.nan
    if isinstance(value, (bool, np.bool_)):
        raise TypeError(f"{name} must hold numbers, not a truth value ({value!r} at position {position})")
    if isinstance(value, numbers.Integral):
        integer = int(value)
        try:
            return float(integer)
        except OverflowError:
            return _BEYOND_FLOAT if integer > 0 else -_BEYOND_FLOAT
    if isinstance(value, numbers.Real):
        return float(value)
    raise TypeError(f"{name} must hold numbers, not {type(value).__name__} ({value!r} at position {position})")


def _pandas_na() -> Any:
    import pandas as pd

    return pd.NA


def _pandas_nat() -> Any:
    import pandas as pd

    return pd.NaT


def prices(values: Any, name: str) -> DoubleArray:
    """One price series as a float64 array, a missing price of any kind NaN.

    Any numeric array-like is accepted; a masked value, None, pd.NA and NaT
    are missing prices; text, dates, categories, truth values and nested
    shapes are refused rather than guessed at.
    """
    if isinstance(values, (str, bytes)):
        raise TypeError(f"{name} must be a sequence of numbers, not {type(values).__name__}")
    dtype = getattr(values, "dtype", None)
    if dtype is not None and not isinstance(dtype, np.dtype):
        _refuse_text(dtype, name)
        if getattr(dtype, "kind", "O") in "iuf":
            # pandas' nullable columns (Float64, Int64) hold pd.NA.
            values = values.to_numpy(dtype=np.float64, na_value=np.nan)
    if isinstance(values, np.ma.MaskedArray):
        if values.dtype.kind not in "iuf":
            raise TypeError(f"{name} must hold numbers, got dtype {values.dtype}")
        masked: Any = values.astype(np.float64)
        values = masked.filled(np.nan)
    array = np.asarray(values)
    if array.ndim != 1:
        raise ValueError(f"{name} must be one-dimensional, got an array of shape {array.shape}")
    if array.shape[0] > _INT_MAX:
        raise ValueError(f"{name} has {array.shape[0]} bars, more than the library's limit of {_INT_MAX}")
    kind = array.dtype.kind
    if kind == "O":
        return np.fromiter((_number(value, name, i) for i, value in enumerate(array)), dtype=np.float64,
                           count=array.shape[0])
    if kind not in "iuf":
        raise TypeError(f"{name} must hold numbers, got dtype {array.dtype}")
    if array.dtype == np.float64:
        return array  # as it is: no conversion to overflow
    with np.errstate(over="ignore"):
        return np.asarray(array, dtype=np.float64)


def pair(high: Any, low: Any, names: tuple[str, str] = ("high", "low")) -> tuple[DoubleArray, DoubleArray]:
    high_prices = prices(high, names[0])
    low_prices = prices(low, names[1])
    if high_prices.shape[0] != low_prices.shape[0]:
        raise ValueError(
            f"high and low must have equal lengths, got {high_prices.shape[0]} and {low_prices.shape[0]}")
    return high_prices, low_prices


def compute(high: FloatArray, low: FloatArray, columns: Sequence[str]) -> dict[str, FloatArray]:
    """The library's plain output for the named indicators: one export per
    indicator, or all four from one pass of the engine."""
    count = high.shape[0]
    outs = {column: np.empty(count, dtype=np.float32) for column in columns}
    if count == 0:
        return outs
    high, low = np.ascontiguousarray(high), np.ascontiguousarray(low)
    if len(outs) == len(COLUMNS):
        ordered = [outs[column] for column in COLUMNS]
        _interruptible.call(_lib.TamselChart_AllIndicators, count, (high, low, *ordered), high.ctypes.data,
                            low.ctypes.data, count, *(out.ctypes.data for out in ordered))
    else:
        for column, out in outs.items():
            _interruptible.call(BY_COLUMN[column].compute, count, (high, low, out), high.ctypes.data,
                                low.ctypes.data, count, out.ctypes.data)
    return outs


def check_threads(threads: Any) -> int:
    """The number of threads a many-series call may use: a positive int, or
    None for one per processor."""
    if threads is None:
        return max(1, os.cpu_count() or 1)
    if isinstance(threads, bool) or not isinstance(threads, numbers.Integral) or threads < 1:
        raise ValueError(f"threads must be a positive integer or None (one per processor), got {threads!r}")
    return int(threads)


def _shares(counts: list[int], parts: int) -> list[tuple[int, int]]:
    """Consecutive (first, end) ranges of the series with about equal bars."""
    total = sum(counts)
    ranges: list[tuple[int, int]] = []
    first = 0
    done = 0
    for part in range(1, parts + 1):
        goal = total * part / parts
        end = first
        while end < len(counts) and (done + counts[end] <= goal or end == first):
            done += counts[end]
            end += 1
        if part == parts:
            done += sum(counts[end:])
            end = len(counts)
        if end > first:
            ranges.append((first, end))
        first = end
    return ranges


def series_bounds(counts: Sequence[int]) -> list[tuple[int, int]]:
    """(begin, end) of each series in the arrays of compute_many_blocks()."""
    ends = np.cumsum(counts, dtype=np.int64)
    return [(int(end) - count, int(end)) for count, end in zip(counts, ends)]


def compute_many_blocks(series: Sequence[tuple[FloatArray, FloatArray]], columns: Sequence[str],
                        threads: int = 1) -> dict[str, FloatArray]:
    """compute() for each (high, low) pair, all through the library's
    many-series call, which computes several series in one pass: the same
    values as one call per series, each indicator's series one after the
    other in one array.  With threads > 1 the series are shared out, by
    bars, among that many concurrent calls."""
    counts = [high.shape[0] for high, _ in series]
    blocks = {column: np.empty(sum(counts), dtype=np.float32) for column in columns}
    wanted = sum(1 for count in counts if count > 0)
    if wanted == 0:
        return blocks
    held: list[Any] = []
    entries = (SeriesIO * len(series))()
    for i, ((high, low), (first, _)) in enumerate(zip(series, series_bounds(counts))):
        high, low = np.ascontiguousarray(high, dtype=np.float32), np.ascontiguousarray(low, dtype=np.float32)
        held += [high, low]
        targets = [blocks[column][first:].ctypes.data if column in blocks else None for column in COLUMNS]
        entries[i] = SeriesIO(high.ctypes.data, low.ctypes.data, counts[i], *targets)
    size = ctypes.sizeof(SeriesIO)
    ranges = _shares(counts, min(threads, wanted))
    calls = [(end - begin, ctypes.cast(ctypes.addressof(entries) + begin * size, ctypes.POINTER(SeriesIO)))
             for begin, end in ranges]
    done = _interruptible.call_each(_lib.TamselChart_AllIndicatorsMany, sum(counts), (entries, held, blocks), calls)
    if sum(done) != wanted:
        raise MemoryError("the library could not get the memory for a many-series call")
    return blocks


def compute_many(series: Sequence[tuple[FloatArray, FloatArray]], columns: Sequence[str],
                 threads: int = 1) -> list[dict[str, FloatArray]]:
    """compute_many_blocks() cut into each series' own arrays."""
    blocks = compute_many_blocks(series, columns, threads)
    return [{column: block[begin:end] for column, block in blocks.items()}
            for begin, end in series_bounds([high.shape[0] for high, _ in series])]


def all_indicators(high: Any, low: Any) -> Indicators:
    """All four, plain, for callers that have already applied their policies."""
    high_prices, low_prices = pair(high, low)
    with np.errstate(over="ignore"):
        outs = compute(high_prices.astype(np.float32), low_prices.astype(np.float32), COLUMNS)
    return Indicators(*(outs[column] for column in COLUMNS))
