# SPDX-License-Identifier: MIT
"""The four indicators for every symbol of a Dask DataFrame.

The indicators of a bar depend on every earlier bar of its symbol, so each
symbol's bars must meet in one task, in time order: the frame is shuffled
by symbol, then every partition computes its symbols together, in one
many-series call of the library.
The work runs wherever the caller's Dask client points (a LocalCluster, a
real cluster); the workers need this package installed.
"""

from __future__ import annotations

from typing import Any, Optional, Union

import numpy as np
import pandas as pd

from ._api import _bars, find_column, prepared_series
from ._core import COLUMNS, compute_many
from ._policy import Missing, MissingPriceError, Warmup, blank_warmup, check_missing, warmup_bars


def _keys(by: Any) -> list[Any]:
    return list(by) if isinstance(by, (list, tuple)) else [by]


def _symbols(part: Any, by: Any, sort: Any, high: Any, low: Any, missing: Missing, warmup: Warmup) -> Any:
    keys = _keys(by)
    keep = keys + ([sort] if sort is not None else [])
    symbols = []
    # observed: a categorical symbol column (as read_parquet makes of a
    # partition key) lists every symbol of the dataset in each partition.
    for symbol, rows in part.groupby(by, sort=False, dropna=False, observed=True):
        # A stable sort keeps bars with equal times in the order they came.
        rows = rows.sort_values(sort, kind="mergesort") if sort is not None else rows.sort_index(kind="mergesort")
        # By position: the rows are in time order now, whatever their index.
        bars = _bars(rows[high].reset_index(drop=True), rows[low].reset_index(drop=True), "high", "low")
        try:
            (series,) = prepared_series(bars, missing, "oldest-first")
        except MissingPriceError as error:
            raise MissingPriceError(f"symbol {symbol!r}: {error}") from None
        symbols.append((rows, series))
    if not symbols:
        return _empty(part, keep)
    # The partition's symbols in one many-series call.
    values = compute_many([(series_high, series_low) for _, (_, series_high, series_low) in symbols], COLUMNS)
    pieces = [rows[keep].assign(**{column: blank_warmup(out[column], warmup, column) for column in COLUMNS})
              for (rows, _), out in zip(symbols, values)]
    return pd.concat(pieces)


def _empty(frame: Any, keep: list[Any]) -> Any:
    return frame[keep].iloc[:0].assign(**{column: np.array([], dtype=np.float32) for column in COLUMNS})


def indicators(ddf: Any, by: Union[str, list[str], tuple[str, ...]] = "symbol", sort: Optional[str] = "date", *,
               high_column: str = "high", low_column: str = "low", npartitions: Optional[int] = None,
               missing: Missing = "error", warmup: Warmup = "values") -> Any:
    """A lazy Dask DataFrame of the four indicators of every bar of every symbol.

    ddf          a Dask DataFrame with a symbol column, a time column and
                 high/low columns (found ignoring case, or named by
                 high_column/low_column).
    by           the column (or list of columns) that tells the symbols apart.
    sort         the column that orders each symbol's bars in time; None
                 orders them by the frame's index.
    npartitions  the number of partitions to spread the symbols over
                 (default: as many as ddf has).
    missing, warmup  as for tamselcharts.indicators, per symbol; a missing
                 price is reported when the result is computed.

    The result has the columns `by`, `sort`, cycle_period, signal_to_noise,
    swing_position and trend_vigor, keeps the rows' original index (join it
    back to the input on the index for other columns), and holds each
    symbol's rows together in time order.  Call .compute() or .persist() on
    it: it runs on the current Dask client's cluster.
    """
    import dask.dataframe as dd

    check_missing(missing)
    warmup_bars(warmup, COLUMNS[0])

    # Looked up by name: Debian's Dask has no type information, newer ones do.
    if not isinstance(ddf, getattr(dd, "DataFrame")):
        raise TypeError(f"tamselcharts.dask.indicators takes a dask DataFrame, not {type(ddf).__name__}; "
                        "for a pandas DataFrame use dask.dataframe.from_pandas or tamselcharts.indicators")
    meta = ddf._meta
    keys = _keys(by)
    for key in keys:
        if key not in meta.columns:
            raise ValueError(f"no symbol column {key!r} among the columns {list(meta.columns)}")
    if sort is not None and sort not in meta.columns:
        raise ValueError(f"no time column {sort!r} among the columns {list(meta.columns)}")
    high = find_column(meta, high_column, "high")
    low = find_column(meta, low_column, "low")
    keep = keys + ([sort] if sort is not None else [])

    needed = list(dict.fromkeys(keep + [high, low]))
    shuffled = ddf[needed].shuffle(keys if len(keys) > 1 else keys[0], npartitions=npartitions)
    return shuffled.map_partitions(_symbols, by, sort, high, low, missing, warmup, meta=_empty(meta, keep))
