# SPDX-License-Identifier: MIT
"""The four indicators for polars: expressions, and whole frames.

    import polars as pl
    import tamselcharts.polars as tcp
    df.with_columns(tcp.trend_vigor("high", "low", order_by="date"))
    df.with_columns(tcp.cycle_period(order_by="date").over("symbol"))  # per symbol
    tcp.indicators(lazy_frame, by="symbol", order_by="date")           # stays lazy

Each expression takes the high and low columns (names or expressions) and
gives a Float32 column named after its indicator; indicators() is the struct
of all four from one pass of the engine.  order_by names the time column
that orders the bars (each bar needs its own time); without it the rows are
the bars, oldest first.  Inside .over(...) or group_by(...).map_groups each
group is one series.  Null is a missing price under missing=, as NaN is;
warmup= takes the words of tamselcharts.indicators.  Needs polars, which is
imported only with this module.
"""

from __future__ import annotations

from collections.abc import Sequence
from types import SimpleNamespace
from typing import Any, Optional, Union

import polars as pl

from ._api import find_column
from ._columnar import price_array, series_indicators, time_positions
from ._core import COLUMNS
from ._policy import Missing, Warmup, check_missing, warmup_bars

Column = Union[str, pl.Expr]


def _expr(column: Column) -> pl.Expr:
    return pl.col(column) if isinstance(column, str) else column


def _numbers(series: pl.Series, name: str) -> Any:
    if not series.dtype.is_numeric():
        raise TypeError(f"{name} must hold numbers, not {series.dtype} values; cast it first if it holds prices "
                        "as text")
    # Null becomes NaN: a missing price, for the policy to decide.
    return price_array(series.to_numpy(), name)


def _times(series: pl.Series, name: str) -> Any:
    if series.null_count():
        raise ValueError(f"the time column {name!r} holds null: every bar needs a time; drop those rows first")
    return series.to_physical().to_numpy()


def _batch(columns: Sequence[str], missing: str, warmup: Warmup, names: tuple[str, str],
           order_by: Optional[str]) -> Any:
    def run(bars: pl.Series) -> pl.Series:
        high = _numbers(bars.struct.field("high"), f"column {names[0]!r}")
        low = _numbers(bars.struct.field("low"), f"column {names[1]!r}")
        order = None
        times = None
        if order_by is not None:
            times = bars.struct.field("time")
            order = time_positions(_times(times, order_by), f"the time column {order_by!r}")

        def describe(row: int, column: int) -> str:
            at = f" ({order_by} {times[row]})" if times is not None else ""
            return f"column {names[column]!r}: row {row} of the series{at}"

        outs = series_indicators(high, low, columns, missing, warmup, order, describe)
        if len(columns) == 1:
            return pl.Series(columns[0], outs[columns[0]], dtype=pl.Float32)
        return pl.DataFrame({column: outs[column] for column in columns}).to_struct(bars.name)

    return run


def _indicator_expr(columns: Sequence[str], high: Column, low: Column, order_by: Optional[str], missing: Missing,
                    warmup: Warmup) -> pl.Expr:
    check_missing(missing)
    warmup_bars(warmup, columns[0])
    fields = [_expr(high).alias("high"), _expr(low).alias("low")]
    if order_by is not None:
        fields.append(pl.col(order_by).alias("time"))
    names = (high if isinstance(high, str) else "high", low if isinstance(low, str) else "low")
    if len(columns) == 1:
        dtype: Any = pl.Float32
        name = columns[0]
    else:
        dtype = pl.Struct({column: pl.Float32 for column in columns})
        name = "indicators"
    return pl.struct(fields).map_batches(_batch(columns, missing, warmup, names, order_by),
                                         return_dtype=dtype).alias(name)


def cycle_period(high: Column = "high", low: Column = "low", *, order_by: Optional[str] = None,
                 missing: Missing = "error", warmup: Warmup = "values") -> pl.Expr:
    """Length in bars of the dominant cycle, 6 to 30, a Float32 expression."""
    return _indicator_expr(COLUMNS[:1], high, low, order_by, missing, warmup)


def signal_to_noise_ratio(high: Column = "high", low: Column = "low", *, order_by: Optional[str] = None,
                          missing: Missing = "error", warmup: Warmup = "values") -> pl.Expr:
    """Strength of the dominant cycle against the bar range, 1 to 12, a Float32 expression."""
    return _indicator_expr(COLUMNS[1:2], high, low, order_by, missing, warmup)


def swing_position(high: Column = "high", low: Column = "low", *, order_by: Optional[str] = None,
                   missing: Missing = "error", warmup: Warmup = "values") -> pl.Expr:
    """Where the cycle stands in its swing, -5 to +5, a Float32 expression."""
    return _indicator_expr(COLUMNS[2:3], high, low, order_by, missing, warmup)


def trend_vigor(high: Column = "high", low: Column = "low", *, order_by: Optional[str] = None,
                missing: Missing = "error", warmup: Warmup = "values") -> pl.Expr:
    """Price change over one cycle in units of its amplitude, -10 to +10, a Float32 expression."""
    return _indicator_expr(COLUMNS[3:4], high, low, order_by, missing, warmup)


def all_indicators(high: Column = "high", low: Column = "low", *, order_by: Optional[str] = None,
                   missing: Missing = "error", warmup: Warmup = "values") -> pl.Expr:
    """The four indicators from one pass of the engine, a struct expression
    named "indicators" (.struct.unnest() makes them columns)."""
    return _indicator_expr(COLUMNS, high, low, order_by, missing, warmup)


def indicators(frame: Any, *, by: Union[None, str, Sequence[str]] = None, order_by: Optional[str] = None,
               high_column: str = "high", low_column: str = "low", missing: Missing = "error",
               warmup: Warmup = "values") -> Any:
    """The frame with cycle_period, signal_to_noise, swing_position and
    trend_vigor added; a LazyFrame stays lazy.  The high and low columns are
    found as tamselcharts.indicators finds them; by= computes each symbol
    on its own (in the frame's row order), order_by= names the time column."""
    if not isinstance(frame, (pl.DataFrame, pl.LazyFrame)):
        raise TypeError(f"tamselcharts.polars.indicators takes a polars DataFrame or LazyFrame, not "
                        f"{type(frame).__name__}")
    schema = frame.collect_schema() if isinstance(frame, pl.LazyFrame) else frame.schema
    names = SimpleNamespace(columns=list(schema.names()))
    taken = [column for column in COLUMNS if column in names.columns]
    if taken:
        raise ValueError(f"the frame already has the columns {taken}: drop them first")
    high = find_column(names, high_column, "high")
    low = find_column(names, low_column, "low")
    for key in [by] if isinstance(by, str) else list(by or []):
        if key not in names.columns:
            raise ValueError(f"no symbol column {key!r} among the columns {names.columns}")
    if order_by is not None and order_by not in names.columns:
        raise ValueError(f"no time column {order_by!r} among the columns {names.columns}")
    values = all_indicators(high, low, order_by=order_by, missing=missing, warmup=warmup)
    if by is not None:
        values = values.over(by)
    return frame.with_columns(values).unnest("indicators")


__all__ = ["all_indicators", "cycle_period", "indicators", "signal_to_noise_ratio", "swing_position", "trend_vigor"]
