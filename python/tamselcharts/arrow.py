# SPDX-License-Identifier: MIT
"""The four indicators over Apache Arrow data, Arrow out.

    import tamselcharts.arrow as tca
    tca.indicators(table)              # a pyarrow.Table of the four columns
    tca.trend_vigor(high, low)         # a float32 pyarrow.Array
    tca.indicators(con.sql("select high, low from bars order by day").arrow())

A Table (or RecordBatch, or a RecordBatchReader such as DuckDB's .arrow()
gives) holds the high and low columns, found as tamselcharts.indicators finds
them; two Arrays or ChunkedArrays are the prices themselves.  The rows are
the bars, oldest first.  Null is a missing price under missing=, as NaN is;
warmup= takes the words of tamselcharts.indicators.  float32 prices in one
contiguous chunk without nulls reach the library without a copy, and the
results are Arrow arrays over the library's own output buffers.  Needs
pyarrow, which is imported only with this module.
"""

from __future__ import annotations

from types import SimpleNamespace
from typing import Any

import numpy as np
import pyarrow as pa
import pyarrow.compute as pc

from ._api import find_column
from ._columnar import price_array, series_indicators
from ._core import COLUMNS
from ._policy import Missing, Warmup


def _numbers(values: Any, name: str) -> Any:
    """One price column as numpy: a view of a float32 chunk without nulls,
    else float64 with NaN where the column holds null."""
    if isinstance(values, pa.ChunkedArray):
        # Several chunks are not one contiguous buffer: joined, once.
        values = values.chunk(0) if values.num_chunks == 1 else values.combine_chunks()
    if not isinstance(values, pa.Array):
        raise TypeError(f"{name} must be a pyarrow Array or ChunkedArray, not {type(values).__name__}")
    kind = values.type
    if pa.types.is_null(kind):  # what Arrow makes of a column of nothing but missing prices
        return np.full(len(values), np.nan)
    if not (pa.types.is_floating(kind) or pa.types.is_integer(kind) or pa.types.is_decimal(kind)):
        raise TypeError(f"{name} must hold numbers, not {kind} values; cast the column first if it holds prices "
                        "as text")
    if pa.types.is_float32(kind) and values.null_count == 0:
        return price_array(values.to_numpy(zero_copy_only=True), name)
    # Null becomes NaN: a missing price, for the policy to decide.
    doubles = pc.cast(values, pa.float64()).fill_null(float("nan"))
    return price_array(doubles.to_numpy(zero_copy_only=False), name)


def _table(data: Any) -> Any:
    if isinstance(data, pa.RecordBatchReader):
        return data.read_all()
    if isinstance(data, pa.RecordBatch):
        return pa.Table.from_batches([data])
    return data


def _columns(high: Any, low: Any, high_column: str, low_column: str, wanted: tuple[str, ...], missing: Missing,
             warmup: Warmup) -> dict[str, Any]:
    high = _table(high)
    if isinstance(high, pa.Table):
        if low is not None:
            raise TypeError("a Table holds both prices: name its columns with high_column= and low_column=")
        names = SimpleNamespace(columns=high.column_names)
        high_name, low_name = find_column(names, high_column, "high"), find_column(names, low_column, "low")
        high, low = high.column(high_name), high.column(low_name)
        labels = (f"column {high_name!r}", f"column {low_name!r}")
    elif low is None:
        raise TypeError("give a Table, or a high and a low array")
    else:
        labels = ("high", "low")
    outs = series_indicators(_numbers(high, labels[0]), _numbers(low, labels[1]), wanted, missing, warmup, None,
                             lambda row, column: f"{labels[column]}: row {row} (0-based)")
    # Over the library's output buffers, without a copy.
    return {column: pa.array(values, type=pa.float32()) for column, values in outs.items()}


def indicators(high: Any, low: Any = None, *, missing: Missing = "error", warmup: Warmup = "values",
               high_column: str = "high", low_column: str = "low") -> Any:
    """All four indicators from one pass of the engine, a pyarrow.Table of
    cycle_period, signal_to_noise, swing_position and trend_vigor."""
    return pa.table(_columns(high, low, high_column, low_column, COLUMNS, missing, warmup))


def _one(column: str, high: Any, low: Any, missing: Missing, warmup: Warmup, high_column: str,
         low_column: str) -> Any:
    return _columns(high, low, high_column, low_column, (column,), missing, warmup)[column]


def cycle_period(high: Any, low: Any = None, *, missing: Missing = "error", warmup: Warmup = "values",
                 high_column: str = "high", low_column: str = "low") -> Any:
    """Length in bars of the dominant cycle, a float32 pyarrow.Array."""
    return _one(COLUMNS[0], high, low, missing, warmup, high_column, low_column)


def signal_to_noise_ratio(high: Any, low: Any = None, *, missing: Missing = "error", warmup: Warmup = "values",
                          high_column: str = "high", low_column: str = "low") -> Any:
    """Strength of the dominant cycle against the bar range, a float32 pyarrow.Array."""
    return _one(COLUMNS[1], high, low, missing, warmup, high_column, low_column)


def swing_position(high: Any, low: Any = None, *, missing: Missing = "error", warmup: Warmup = "values",
                   high_column: str = "high", low_column: str = "low") -> Any:
    """Where the cycle stands in its swing, -5 to +5, a float32 pyarrow.Array."""
    return _one(COLUMNS[2], high, low, missing, warmup, high_column, low_column)


def trend_vigor(high: Any, low: Any = None, *, missing: Missing = "error", warmup: Warmup = "values",
                high_column: str = "high", low_column: str = "low") -> Any:
    """Price change over one cycle in units of its amplitude, a float32 pyarrow.Array."""
    return _one(COLUMNS[3], high, low, missing, warmup, high_column, low_column)


__all__ = ["cycle_period", "indicators", "signal_to_noise_ratio", "swing_position", "trend_vigor"]
