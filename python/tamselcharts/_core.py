# SPDX-License-Identifier: MIT
"""The library's four batch exports over float32 arrays: conversion of the
caller's prices to the library's input type, and one call per indicator."""

from __future__ import annotations

from collections.abc import Callable, Sequence
from typing import Any, NamedTuple

import numpy as np

from ._library import lib as _lib
from ._policy import FloatArray

COLUMNS: tuple[str, str, str, str] = ("cycle_period", "signal_to_noise", "swing_position", "trend_vigor")


class Values(NamedTuple):
    """The four values of one bar, as a stream gives them."""

    cycle_period: float
    signal_to_noise: float
    swing_position: float
    trend_vigor: float


class Indicators(NamedTuple):
    """The four indicator series of a whole high/low series, float32 arrays."""

    cycle_period: FloatArray
    signal_to_noise: FloatArray
    swing_position: FloatArray
    trend_vigor: FloatArray


_INT_MAX = 2**31 - 1


def prices(values: Any, name: str) -> FloatArray:
    """One price series as a contiguous float32 array, the library's input type.

    Any numeric array-like is accepted and rounded to float32 exactly as the
    C library would receive it; text, dates, booleans and nested shapes are
    refused rather than guessed at.
    """
    if isinstance(values, (str, bytes)):
        raise TypeError(f"{name} must be a sequence of numbers, not {type(values).__name__}")
    # pandas' nullable columns (Float64, Int64) hold pd.NA, which numpy cannot
    # cast; they become NaN prices, which the missing-price policy then sees.
    to_numpy = getattr(values, "to_numpy", None)
    dtype = getattr(values, "dtype", None)
    if to_numpy is not None and dtype is not None and not isinstance(dtype, np.dtype):
        kind = getattr(dtype, "kind", "O")
        if kind in "iuf":
            values = to_numpy(dtype=np.float64, na_value=np.nan)
    array = np.asarray(values)
    if array.ndim != 1:
        raise ValueError(f"{name} must be one-dimensional, got an array of shape {array.shape}")
    kind = array.dtype.kind
    if kind == "O":
        try:
            array = array.astype(np.float64)
        except (TypeError, ValueError) as error:
            raise TypeError(f"{name} must hold numbers only: {error}") from None
    elif kind not in "iuf":
        raise TypeError(f"{name} must hold numbers, got dtype {array.dtype}")
    if array.shape[0] > _INT_MAX:
        raise ValueError(f"{name} has {array.shape[0]} bars, more than the library's limit of {_INT_MAX}")
    # Values beyond float32's range become infinities here, as a C caller's
    # conversion would make them; the missing-price policy refuses them.
    with np.errstate(over="ignore"):
        return np.ascontiguousarray(array, dtype=np.float32)


def pair(high: Any, low: Any) -> tuple[FloatArray, FloatArray]:
    high_prices = prices(high, "high")
    low_prices = prices(low, "low")
    if high_prices.shape[0] != low_prices.shape[0]:
        raise ValueError(
            f"high and low must have equal lengths, got {high_prices.shape[0]} and {low_prices.shape[0]}")
    return high_prices, low_prices


_EXPORTS: dict[str, Callable[..., int]] = {
    "cycle_period": _lib.TamselChart_CyclePeriod,
    "signal_to_noise": _lib.TamselChart_SignalToNoiseRatio,
    "swing_position": _lib.TamselChart_SwingPosition,
    "trend_vigor": _lib.TamselChart_TrendVigor,
}


def compute(high: FloatArray, low: FloatArray, columns: Sequence[str]) -> dict[str, FloatArray]:
    """The library's plain output for the named indicators: one export per
    indicator, or all four from one pass of the engine."""
    count = high.shape[0]
    outs = {column: np.empty(count, dtype=np.float32) for column in columns}
    if count == 0:
        return outs
    if len(outs) == len(COLUMNS):
        _lib.TamselChart_AllIndicators(high.ctypes.data, low.ctypes.data, count,
                                       *(outs[column].ctypes.data for column in COLUMNS))
    else:
        for column, out in outs.items():
            _EXPORTS[column](high.ctypes.data, low.ctypes.data, count, out.ctypes.data)
    return outs


def all_indicators(high: Any, low: Any) -> Indicators:
    """All four, plain, for callers that have already applied their policies."""
    high_prices, low_prices = pair(high, low)
    outs = compute(high_prices, low_prices, COLUMNS)
    return Indicators(*(outs[column] for column in COLUMNS))
