# SPDX-License-Identifier: MIT
"""The indicators as pandas and numpy users call them: a DataFrame, two
Series or two arrays in; the caller's index, order and policies kept."""

from __future__ import annotations

import re
from collections.abc import Hashable, Sequence
from typing import Any, Optional

import numpy as np
import pandas as pd

from ._core import COLUMNS, Indicators, check_threads, compute, compute_many_blocks, pair, series_bounds
from ._library import lib as _lib
from ._order import Positions, TimeReader, column_times, index_times, rising_within, time_order
from ._policy import FloatArray, Missing, Order, Warmup, apply_missing, blank_warmup, check_missing, check_order
from ._policy import taken_as_they_are
from ._policy import warmup_bars as _warmup_bars


class ColumnNotFoundError(ValueError):
    """The high or low column is not in the frame, or several columns match."""


def find_column(frame: Any, wanted: str, role: str) -> Any:
    """The column named `wanted`: matched exactly, or else under the
    library's column-name rule (any case, blanks and <> around it, and
    AAPL.High naming the high), as `tamsel` finds its columns."""
    columns = list(frame.columns)
    if wanted in columns:
        matches = [column for column in columns if column == wanted]
    else:
        encoded = str(wanted).encode("utf-8", "surrogateescape")
        matches = [column for column in columns if isinstance(column, str) and _lib.TamselChart_ColumnNameMatches(
            column.encode("utf-8", "surrogateescape"), encoded)]
    if not matches:
        raise ColumnNotFoundError(f"no {role} column {wanted!r} among the columns {columns}")
    if len(matches) > 1:
        if len(set(matches)) == 1:
            raise ColumnNotFoundError(f"the {role} column {matches[0]!r} stands {len(matches)} times; keep one of them")
        raise ColumnNotFoundError(f"several columns could be the {role} column {wanted!r}: {matches}; name one exactly")
    repeats = _renamed_repeats(columns, matches[0])
    if repeats:
        raise ColumnNotFoundError(
            f"the {role} column {matches[0]!r} looks repeated: {repeats} are the names a CSV reader gives a "
            f"repeated column (pandas 'High.1', polars 'High_duplicated_0'); drop the ones that are not the "
            f"{role} prices")
    return matches[0]


def _renamed_repeats(columns: list[Any], name: Any) -> list[str]:
    """The columns that pandas' or polars' CSV reader would have named so
    had `name` stood more than once in the file's header: the prices could
    be in either, and taking the first would be a guess."""
    if not isinstance(name, str):
        return []
    renamed = re.compile(re.escape(name) + r"(\.[1-9][0-9]*|_duplicated_(0|[1-9][0-9]*))")
    return [column for column in columns if isinstance(column, str) and renamed.fullmatch(column)]


class _Bars:
    """The caller's prices (float64, caller's order), with their index (None
    for plain arrays), the names to use in messages and, for a frame, the
    frame itself (for its date and group columns)."""

    def __init__(self, high: Any, low: Any, index: Optional[pd.Index], names: tuple[str, str],
                 frame: Optional[pd.DataFrame] = None) -> None:
        what = ("column {!r}" if frame is not None else "{}").format
        self.high, self.low = pair(high, low, (what(names[0]), what(names[1])))
        self.index = index
        self.names = names
        self.frame = frame


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
        return _Bars(frame[high_name], frame[low_name], frame.index, (str(high_name), str(low_name)), frame)
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


def _key_names(by: Any) -> list[Any]:
    """The names by= gives: a list names several keys, anything else one."""
    return list(by) if isinstance(by, list) else [by]


def _turn_length(key: pd.Index) -> int:
    """n where the key's values are n different ones in the same order over
    and over, as the symbols of a frame of one row per symbol for each
    date; else 0.  Telling that takes one comparison per row, where
    numbering text by hashing takes several times as long; it is tried for
    text only (Python strings, none missing), which compares to a plain
    truth and which is what hashing is slow for."""
    values = key.to_numpy()
    count = values.shape[0]
    if values.dtype != object or count < 4 or pd.api.types.infer_dtype(values, skipna=False) != "string":
        return 0
    # The turn ends where the first value comes again.
    again = np.flatnonzero(values[1:min(count, 4096)] == values[0])
    if again.size == 0:
        again = np.flatnonzero(values[1:] == values[0])
    turn = int(again[0]) + 1 if again.size else 0
    if turn < 2 or count % turn != 0:
        return 0
    first = values[:turn]
    if len(pd.unique(first)) != turn:
        return 0
    # The last turn first: a frame of another layout mostly fails there.
    if not bool((values[-turn:] == first).all()):
        return 0
    return turn if bool((values.reshape(-1, turn) == first).all()) else 0


def _numbered(key: pd.Index) -> Any:
    """Each value's number, from 0 in order of first appearance, with the
    missing values (NaN, None) numbered last, all alike."""
    turn = _turn_length(key)
    if turn:
        return np.tile(np.arange(turn, dtype=np.intp), key.shape[0] // turn)
    codes, values = pd.factorize(key, sort=False)
    return np.where(codes < 0, len(values), codes) if codes.size and codes.min() < 0 else codes


class _Groups:
    """The series the bars hold: rows lists every row of the bars, group
    after group, each group's rows in the caller's order, and starts where
    each group begins in rows, then len(rows).  in_turn marks the layout of
    one row per group in turn (a date's rows for every symbol, then the
    next date's), where rows is a transposition of the caller's rows."""

    def __init__(self, codes: Any, count: int, keys: list[pd.Index]) -> None:
        """Groups from each row's group number (in order of first
        appearance, count groups); keys give each group's value of by=."""
        self.starts = np.zeros(count + 1, dtype=np.intp)
        np.cumsum(np.bincount(codes, minlength=count), out=self.starts[1:])
        rows = codes.shape[0]
        self.in_turn = count > 1 and rows % count == 0 and bool((codes.reshape(-1, count) == np.arange(count)).all())
        if self.in_turn:
            self.rows = (np.arange(0, rows, count, dtype=np.intp) + np.arange(count, dtype=np.intp)[:, None]).ravel()
        elif rows < 2 or bool((codes[1:] >= codes[:-1]).all()):
            self.rows = np.arange(rows, dtype=np.intp)  # already grouped
        else:
            # One stable sort for all groups (numpy sorts 8- and 16-bit
            # numbers by radix, in linear time): a scan of every row per
            # group would take time proportional to rows times groups.
            kinds: tuple[Any, ...] = (np.uint8, np.uint16, np.uint32)
            narrow = next((codes.astype(kind) for kind in kinds if count <= np.iinfo(kind).max + 1), codes)
            self.rows = np.argsort(narrow, kind="stable").astype(np.intp, copy=False)
        self._keys = keys

    def __len__(self) -> int:
        return len(self.starts) - 1

    def positions(self, group: int) -> Positions:
        return self.rows[self.starts[group]:self.starts[group + 1]]

    def symbol(self, group: int) -> Any:
        """The group's value of by= (a tuple for several keys), looked up
        only when asked for: for a message, or the dask front end."""
        if not self._keys:
            return None
        row = int(self.rows[self.starts[group]])
        return self._keys[0][row] if len(self._keys) == 1 else tuple(key[row] for key in self._keys)

    def put(self, out: Any, values: Any) -> None:
        """out[rows] = values, as a transposition where the layout allows,
        which writes memory in order."""
        if self.in_turn:
            out.reshape(-1, len(self))[...] = values.reshape(len(self), -1).T
        else:
            out[self.rows] = values


def _groups(bars: _Bars, by: Any) -> tuple[_Groups, Optional[pd.Index]]:
    """The series the bars hold, one for a plain index and one per value of
    `by` otherwise (per combination of values for a list of keys), and the
    index that tells the bars of a series apart (the bars' own, less `by`'s
    levels)."""
    index = bars.index
    if by is None:
        if isinstance(index, pd.MultiIndex):
            raise ValueError(f"a MultiIndex ({list(index.names)}) may hold several series, which must not be "
                             "computed as one: pass by=<level name> (e.g. by='symbol') to compute each group "
                             "separately")
        return _Groups(np.zeros(bars.high.shape[0], dtype=np.intp), 1, []), index
    names = _key_names(by)
    if not names:
        raise ValueError("by=[] names no key: give a level or column name, or a list of them")
    keys: list[pd.Index] = []
    levels: list[Any] = []
    frame = bars.frame
    for name in names:
        hashable = isinstance(name, Hashable)
        if isinstance(index, pd.MultiIndex) and hashable and name in index.names:
            keys.append(index.get_level_values(name))
            levels.append(name)
        elif frame is not None and hashable and name in frame.columns:
            keys.append(pd.Index(frame[name]))
        else:
            known = list(index.names) if isinstance(index, pd.MultiIndex) else []
            raise ValueError(f"by={name!r} names no index level {known} and no column")
    rest: Optional[pd.Index] = index
    if isinstance(index, pd.MultiIndex) and levels:
        # With every level a key, the bars of a series are told apart by position.
        rest = None if len(levels) == index.nlevels else index.droplevel(levels)
    # Each key's values numbered, a missing one (NaN, None) like any other:
    # left out, its rows would get no values at all.  Several keys' numbers
    # combine into one per series.
    codes = _numbered(keys[0])
    for key in keys[1:]:
        key_codes = _numbered(key)
        codes, _ = pd.factorize(codes * (int(key_codes.max()) + 1) + key_codes, sort=False)
    return _Groups(codes, int(codes.max()) + 1 if codes.size else 0, keys), rest


class _GroupLabels:
    """The labels of a group's bars, looked up only for a message."""

    def __init__(self, index: Optional[pd.Index], positions: Positions) -> None:
        self.index, self.positions = index, positions

    def __getitem__(self, bar: int) -> Any:
        return None if self.index is None else self.index[int(self.positions[bar])]


def _describe(label: object, row: int) -> str:
    if isinstance(label, pd.Timestamp) and label == label.normalize():
        label = label.date()
    return f"index {label!r} (row {row})" if isinstance(label, str) else f"index {label} (row {row})"


def _prepared_at_once(bars: _Bars, groups: _Groups, times: Optional[tuple[str, Any]],
                      order: str) -> Optional[list[tuple[Positions, FloatArray, FloatArray]]]:
    """prepared_series() of many groups in a few passes over all rows
    rather than a few per group, where that gives each group what its own
    passes would: its rows already oldest first by their times (times in
    rows' order, or None), and every price a finite float32, which every
    missing-price policy takes as it is.  None where some group needs its
    own passes: to be put in order, to have a price refused or replaced,
    or to be named in a message."""
    if order != "oldest-first" or (times is not None and not rising_within(times[1], groups.starts)):
        return None
    # Narrowed in the caller's order, which is every price's own business,
    # and then put in the groups' order: half the bytes to move.
    taken = taken_as_they_are(bars.high, bars.low)
    if taken is None:
        return None
    rows = groups.rows
    high, low = taken[0][rows], taken[1][rows]
    return [(rows[begin:end], high[begin:end], low[begin:end])
            for begin, end in zip(groups.starts[:-1].tolist(), groups.starts[1:].tolist())]


def prepared_series(bars: _Bars, missing: str, order: str, by: Any = None,
                    time_column: Any = "auto") -> list[tuple[Positions, FloatArray, FloatArray]]:
    """Each series of the bars as the library gets it: (the caller's
    positions in time order, float32 high, float32 low) under the policy."""
    return _prepared(bars, missing, order, by, time_column)[1]


def _prepared(bars: _Bars, missing: str, order: str, by: Any,
              time_column: Any) -> tuple[Optional[_Groups], list[tuple[Positions, FloatArray, FloatArray]]]:
    """prepared_series(), and the groups where the series' positions are
    the groups' rows, one group after another (else None)."""
    groups, rest = _groups(bars, by)
    # The times are read once for all groups, each group taking its rows.
    index_read = index_times(rest)
    read_times: Optional[TimeReader] = None
    if index_read is None and bars.frame is not None:
        keys = tuple(_key_names(by)) if by is not None else ()
        read_times = column_times(bars.frame, time_column, tuple(bars.names) + keys)
    times: Optional[tuple[str, Any]] = None
    if len(groups) > 1 and (read_times is None or read_times.at_once):
        if index_read is not None:
            times = (index_read[0], index_read[1][groups.rows])
        else:
            times = read_times(groups.rows) if read_times is not None else None
        at_once = _prepared_at_once(bars, groups, times, order)
        if at_once is not None:
            return groups, at_once
    prepared: list[tuple[Positions, FloatArray, FloatArray]] = []
    for group in range(len(groups)):
        positions = groups.positions(group)
        times = None if index_read is None else (index_read[0], index_read[1][positions])
        if read_times is not None:
            times = read_times(positions)
        try:
            within = time_order(len(positions), times, _GroupLabels(rest, positions), order)
        except ValueError as error:
            raise ValueError(f"{by}={groups.symbol(group)!r}: {error}" if by is not None else str(error)) from None
        ordered = positions if within is None else positions[within]
        labels = bars.index

        def where(bar: int, column: int, ordered: Positions = ordered, group: int = group) -> str:
            row = int(ordered[bar - 1])
            place = f"bar {row} (0-based)" if labels is None else _describe(labels[row], row)
            prefix = f"{by}={groups.symbol(group)!r}: " if by is not None else ""
            return f"{prefix}column {bars.names[column]!r}: {place}"

        high, low = apply_missing(bars.high[ordered], bars.low[ordered], missing, where)
        prepared.append((ordered, high, low))
    return None, prepared


def _check_options(missing: str, order: str, warmup: Warmup, columns: Sequence[str], threads: Any) -> int:
    """Refuses a bad option before any work; the number of threads."""
    check_missing(missing)
    check_order(order)
    _warmup_bars(warmup, columns[0])
    return check_threads(threads)


def _run(bars: _Bars, columns: Sequence[str], missing: str, warmup: Warmup, order: str, by: Any = None,
         time_column: Any = "auto", threads: Any = 1) -> dict[str, FloatArray]:
    """The indicators in the caller's order, each series computed in time
    order; several series (by=) in one many-series call of the library."""
    workers = _check_options(missing, order, warmup, columns, threads)
    count = bars.high.shape[0]
    outs = {column: np.empty(count, dtype=np.float32) for column in columns}
    groups, prepared = _prepared(bars, missing, order, by, time_column)
    if by is None:
        for ordered, high, low in prepared:
            for column, series in compute(high, low, columns).items():
                outs[column][ordered] = blank_warmup(series, warmup, column)
        return outs
    # All groups in one call, then each indicator put in the caller's rows
    # in one step.
    blocks = compute_many_blocks([(high, low) for _, high, low in prepared], columns, workers)
    if prepared:
        rows = np.concatenate([ordered for ordered, _, _ in prepared]) if groups is None else None
        bounds = series_bounds([high.shape[0] for _, high, _ in prepared])
        for column, block in blocks.items():
            for begin, end in bounds:
                blank_warmup(block[begin:end], warmup, column)
            if groups is not None:
                groups.put(outs[column], block)
            else:
                outs[column][rows] = block
    return outs


def _wide(high: pd.DataFrame, low: Any, columns: Sequence[str], missing: str, warmup: Warmup, order: str, by: Any,
          threads: Any) -> dict[str, pd.DataFrame]:
    """The indicators of wide frames (time x symbol, one frame of highs and
    one of lows): a frame time x symbol for each indicator.  A symbol's
    series runs from its first row with a price to its last; the rows
    before and after (a symbol listed later or delisted earlier, both
    prices missing) are NaN in the results, as if a long frame had no such
    rows."""
    if not isinstance(low, pd.DataFrame):
        raise TypeError("a DataFrame of highs needs a DataFrame of lows (time x symbol), or give one frame with "
                        "high and low columns and no second argument")
    if by is not None:
        raise ValueError("by= is for one long frame; in wide frames every column is a symbol already")
    workers = _check_options(missing, order, warmup, columns, threads)
    if not high.index.equals(low.index):
        raise ValueError("the high and low frames have different indexes, so their bars cannot be paired; align "
                         "them first, e.g. high, low = high.align(low, join='inner')")
    if not high.columns.is_unique or set(high.columns) != set(low.columns) or len(high.columns) != len(low.columns):
        raise ValueError("the high and low frames must have the same symbols as columns, each once")
    low = low[high.columns]
    index = high.index
    count = len(index)
    within = time_order(count, index_times(index), index, order)
    ordered_rows = np.arange(count, dtype=np.intp) if within is None else within
    prepared: list[tuple[Positions, FloatArray, FloatArray]] = []
    for symbol in high.columns:
        names = (f"{symbol!r} of the high frame", f"{symbol!r} of the low frame")
        high_prices, low_prices = pair(high[symbol], low[symbol], names)
        high_prices, low_prices = high_prices[ordered_rows], low_prices[ordered_rows]
        priced = np.flatnonzero(~(np.isnan(high_prices) & np.isnan(low_prices)))
        span = ordered_rows[priced[0]:priced[-1] + 1] if priced.size else ordered_rows[:0]
        lead = int(priced[0]) if priced.size else 0

        def where(bar: int, column: int, span: Positions = span, names: tuple[str, str] = names) -> str:
            row = int(span[bar - 1])
            return f"column {names[column]}: {_describe(index[row], row)}"

        taken = apply_missing(high_prices[lead:lead + span.shape[0]], low_prices[lead:lead + span.shape[0]],
                              missing, where)
        prepared.append((span, *taken))
    blocks = compute_many_blocks([(h, l) for _, h, l in prepared], columns, workers)
    bounds = series_bounds([span.shape[0] for span, _, _ in prepared])
    results = {}
    for column, block in blocks.items():
        values = np.full((count, len(prepared)), np.nan, dtype=np.float32)
        for j, ((span, _, _), (begin, end)) in enumerate(zip(prepared, bounds)):
            values[span, j] = blank_warmup(block[begin:end], warmup, column)
        results[column] = pd.DataFrame(values, index=index, columns=high.columns)
    return results


def indicators(high: Any, low: Any = None, *, missing: Missing = "error", warmup: Warmup = "values",
               order: Order = "oldest-first", high_column: str = "high", low_column: str = "low", by: Any = None,
        time_column: Any = "auto", threads: Optional[int] = 1) -> Any:
    """All four indicators from one pass of the engine.

    indicators(frame)      a pandas DataFrame with high and low columns (found
        ignoring case; high_column/low_column name others): a DataFrame of
        cycle_period, signal_to_noise, swing_position and trend_vigor on the
        frame's index.
    indicators(high, low)  two Series (paired by index label) or array-likes
        of equal length: a DataFrame for Series, else an Indicators named
        tuple of four float32 arrays.
    indicators(highs, lows)  two wide DataFrames, time x symbol: one
        DataFrame whose columns are (indicator, symbol), so that
        result["trend_vigor"] is time x symbol; each symbol's series runs
        from its first row with a price to its last, the rows outside it NaN.

    missing  "error" (a missing price raises ValueError naming the bar),
             "previous" (repeat the previous bar's price) or "nan" (hand NaN
             to the library, which then freezes three indicators).
    warmup   "values" (the library's start-up values), "nan" (NaN on each
             indicator's start-up bars, see WARMUP) or N (NaN on the first N).
    order    "oldest-first", or "newest-first" to compute in time order and
             return the results in the caller's order; a DatetimeIndex,
             PeriodIndex or date column (time_column="auto" finds a
             datetime64 column or one named like date/time; a name picks
             one; None skips the check) must agree.
    by       a MultiIndex level or a column that tells several series apart
             (e.g. "symbol"), or a list of them (e.g. ["exchange",
             "symbol"]): each is computed on its own, in time order,
             and the results come back in the caller's row order.  A
             MultiIndex without by= is refused.  The groups go to the
             library together, which computes several in one pass.
    threads  for by=: how many threads share the groups (None: one per
             processor); the values are the same for any number.
    """
    if isinstance(high, pd.DataFrame) and low is not None:
        wide = _wide(high, low, COLUMNS, missing, warmup, order, by, threads)
        return pd.concat(wide, axis=1, names=["indicator", high.columns.name])
    bars = _bars(high, low, high_column, low_column)
    outs = _run(bars, COLUMNS, missing, warmup, order, by, time_column, threads)
    if bars.index is not None:
        return pd.DataFrame(outs, index=bars.index)
    return Indicators(*(outs[column] for column in COLUMNS))


def _one(column: str, high: Any, low: Any, missing: Missing, warmup: Warmup, order: Order, high_column: str,
         low_column: str, by: Any, time_column: Any, threads: Optional[int]) -> Any:
    if isinstance(high, pd.DataFrame) and low is not None:
        return _wide(high, low, (column,), missing, warmup, order, by, threads)[column]
    bars = _bars(high, low, high_column, low_column)
    values = _run(bars, (column,), missing, warmup, order, by, time_column, threads)[column]
    if bars.index is not None:
        return pd.Series(values, index=bars.index, name=column)
    return values


def cycle_period(high: Any, low: Any = None, *, missing: Missing = "error", warmup: Warmup = "values",
                 order: Order = "oldest-first", high_column: str = "high", low_column: str = "low", by: Any = None,
        time_column: Any = "auto", threads: Optional[int] = 1) -> Any:
    """Length in bars of the dominant cycle, 6 to 30, per bar; 0 on bars 1-2
    and 18 on bars 3-14 while warming up.  Arguments as indicators(); a
    Series named cycle_period for pandas input, else a float32 array."""
    return _one(COLUMNS[0], high, low, missing, warmup, order, high_column, low_column, by, time_column, threads)


def signal_to_noise_ratio(high: Any, low: Any = None, *, missing: Missing = "error", warmup: Warmup = "values",
                          order: Order = "oldest-first", high_column: str = "high", low_column: str = "low", by: Any = None,
        time_column: Any = "auto", threads: Optional[int] = 1) -> Any:
    """Strength of the dominant cycle against the bar range, 1 to 12, per bar;
    1.0 on bars 1-12.  Arguments as indicators(); a Series named
    signal_to_noise for pandas input, else a float32 array."""
    return _one(COLUMNS[1], high, low, missing, warmup, order, high_column, low_column, by, time_column, threads)


def swing_position(high: Any, low: Any = None, *, missing: Missing = "error", warmup: Warmup = "values",
                   order: Order = "oldest-first", high_column: str = "high", low_column: str = "low", by: Any = None,
        time_column: Any = "auto", threads: Optional[int] = 1) -> Any:
    """Where the cycle stands in its swing, -5 (bottom) to +5 (top), per bar.
    Arguments as indicators(); a Series named swing_position for pandas
    input, else a float32 array."""
    return _one(COLUMNS[2], high, low, missing, warmup, order, high_column, low_column, by, time_column, threads)


def trend_vigor(high: Any, low: Any = None, *, missing: Missing = "error", warmup: Warmup = "values",
                order: Order = "oldest-first", high_column: str = "high", low_column: str = "low", by: Any = None,
        time_column: Any = "auto", threads: Optional[int] = 1) -> Any:
    """Price change over one cycle in units of the cycle's amplitude, -10 to
    +10, per bar.  Arguments as indicators(); a Series named trend_vigor for
    pandas input, else a float32 array."""
    return _one(COLUMNS[3], high, low, missing, warmup, order, high_column, low_column, by, time_column, threads)
