# SPDX-License-Identifier: MIT
"""Which bar comes first: the check that the caller's bar times agree with
the order they asked for, and the positions of the bars in time order.

The times come from a DatetimeIndex or PeriodIndex, or else from a frame's
date column (a datetime64 column, or one named as `tamsel` finds its date
column: date, datetime, timestamp, day, time), so that a frame read newest
first with its dates in a column is refused as the command-line tool
refuses the same file.
"""

from __future__ import annotations

import warnings
from collections.abc import Callable
from typing import Any, Optional

import numpy as np
import numpy.typing as npt
import pandas as pd

from ._library import lib as _lib
from ._policy import check_order

Positions = npt.NDArray[np.intp]
_PANDAS_MAJOR = int(pd.__version__.split(".")[0])
_DATE_NAMES = (b"date", b"datetime", b"timestamp", b"day", b"time")


def names_a_date(name: Any) -> bool:
    if not isinstance(name, str):
        return False
    encoded = name.encode("utf-8", "surrogateescape")
    return any(_lib.TamselChart_ColumnNameMatches(encoded, wanted) for wanted in _DATE_NAMES)


def _text_times(column: pd.Series) -> Optional[npt.NDArray[np.int64]]:
    """Times of a text column when they read the same month-first and
    day-first (ISO dates do); None when they cannot be read unambiguously."""
    if _PANDAS_MAJOR >= 2:
        # ISO 8601 text has one reading; pandas 3 would read 2021-03-02
        # year-day-month when asked for day first, so it is read as ISO
        # before the month-first/day-first comparison is made.
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            try:
                iso = pd.to_datetime(column, errors="coerce", format="ISO8601")
            except (TypeError, ValueError, OverflowError):
                iso = None
        if iso is not None and not iso.isna().to_numpy().any():
            iso_times: npt.NDArray[np.int64] = pd.DatetimeIndex(iso).asi8
            return iso_times
    readings = []
    for dayfirst in (False, True):
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            try:
                reading = pd.to_datetime(column, errors="coerce", dayfirst=dayfirst)
            except (TypeError, ValueError, OverflowError):
                return None
        if reading.isna().to_numpy().any():
            return None
        readings.append(pd.DatetimeIndex(reading).asi8)
    same: bool = np.array_equal(readings[0], readings[1])
    return readings[0] if same else None


class TimeReader:
    """The times of given rows of a frame: (description, times), or None
    where there are none.  at_once says whether the times of many groups'
    rows may be read in one call (numbers and dates, but not text, whose
    reading depends on the group's own values)."""

    def __init__(self, read: Callable[[Positions], Optional[tuple[str, Any]]], at_once: bool) -> None:
        self.read, self.at_once = read, at_once

    def __call__(self, rows: Positions) -> Optional[tuple[str, Any]]:
        return self.read(rows)


def missing_time(keys: Any) -> Optional[str]:
    """What marks a bar without a time among the keys, if one is there: NaT
    (int64's least value) or a NaN among numbers."""
    keys = np.asarray(keys)
    if keys.dtype == np.int64:
        return "NaT" if bool((keys == np.iinfo(np.int64).min).any()) else None
    return "NaN" if keys.dtype.kind == "f" and bool(np.isnan(keys).any()) else None


def rising_within(keys: Any, starts: Any) -> bool:
    """Whether the times of every group rise strictly, none missing (NaT or
    NaN), where keys holds the groups' times one group after another and
    starts where each group begins (and, last, where the keys end): what
    time_order() accepts, oldest first, of each group alone."""
    keys = np.asarray(keys)
    if keys.shape[0] < 2:
        return True
    later = keys[1:] > keys[:-1]
    # Where a group ends and the next begins, the times are not compared.
    later[np.asarray(starts[1:-1], dtype=np.intp) - 1] = True
    return missing_time(keys) is None and bool(later.all())


def column_times(frame: pd.DataFrame, time_column: Any, skip: tuple[Any, ...]) -> TimeReader:
    """The reader of the frame's date column: given rows of the frame, the
    (description, int64 times) of those rows, or None when there is no date
    column.  The column is found once, and read once where its values need
    no parsing, so that many groups of one frame cost one pass."""
    if time_column is None:
        return TimeReader(lambda rows: None, True)
    if time_column == "auto":
        candidates = [name for name in frame.columns if name not in skip
                      and (pd.api.types.is_datetime64_any_dtype(frame[name]) or names_a_date(name))]
        if not candidates:
            return TimeReader(lambda rows: None, True)
        time_column = candidates[0]
    elif time_column not in frame.columns:
        raise ValueError(f"no time column {time_column!r} among the columns {list(frame.columns)}")
    column = frame[time_column]
    what = f"the time column {time_column!r}"
    values: Optional[Any] = None
    if pd.api.types.is_datetime64_any_dtype(column):
        values = pd.DatetimeIndex(column).asi8
    elif isinstance(column.dtype, pd.PeriodDtype):
        values = pd.PeriodIndex(column).asi8
    elif column.dtype.kind in "iuf":
        values = column.to_numpy()
    if values is not None:
        read = values
        return TimeReader(lambda rows: (what, read[rows]), True)

    def parsed(rows: Positions) -> Optional[tuple[str, Any]]:
        # Text is read per group: how its dates are read depends on them.
        times = _text_times(column.iloc[rows])
        return None if times is None else (what, times)

    return TimeReader(parsed, False)


def index_times(index: Optional[pd.Index]) -> Optional[tuple[str, Any]]:
    if isinstance(index, pd.DatetimeIndex):
        return "the DatetimeIndex", index.asi8
    if index is not None and not isinstance(index, pd.MultiIndex) and pd.api.types.is_datetime64_any_dtype(index):
        # Times held another way (pandas' Arrow-backed timestamps) are
        # times all the same, and must be in order all the same.
        return "the timestamp Index", pd.DatetimeIndex(index).asi8
    if isinstance(index, pd.PeriodIndex):
        return "the PeriodIndex", index.asi8
    return None


def time_order(count: int, times: Optional[tuple[str, Any]], labels: Any, order: str) -> Optional[Positions]:
    """The caller's positions of the bars in time order (None: as given),
    after checking that the times run the way `order` says."""
    check_order(order)
    newest_first = order == "newest-first"
    reverse = np.arange(count - 1, -1, -1, dtype=np.intp)
    if times is None or count < 2:
        return reverse if newest_first else None
    what, keys = times
    keys = np.asarray(keys)
    # Neighbours compared rather than subtracted: unsigned times' differences
    # wrap around, so a falling series would read as a rising one.
    later, earlier = keys[1:] > keys[:-1], keys[1:] < keys[:-1]
    missing = missing_time(keys)
    increasing, decreasing = bool(later.all()), bool(earlier.all())
    if increasing and not newest_first and missing is None:
        return None
    if decreasing and newest_first and missing is None:
        return reverse
    if missing is not None:
        raise ValueError(f"{what} holds {missing}: every bar needs a time; drop those rows first")
    repeated = np.flatnonzero(keys[1:] == keys[:-1])
    if repeated.size:
        at = labels[repeated[0] + 1] if what.endswith("Index") else f"row {repeated[0] + 1}"
        raise ValueError(f"{what} repeats {at}: one row per bar is needed; drop or aggregate the repeated rows, "
                         "e.g. df[~df.index.duplicated(keep='last')]")
    if decreasing:
        raise ValueError(f"{what} runs newest first: pass order='newest-first' to compute in time order and get "
                         "the results in this order, or sort it oldest first")
    if increasing:
        raise ValueError(f"order='newest-first' was given but {what} runs oldest first: drop the option")
    wrong = int(np.flatnonzero(earlier if not newest_first else later)[0]) + 1
    if what.endswith("Index"):
        raise ValueError(f"{what} is not in time order ({labels[wrong]} follows {labels[wrong - 1]}): sort it "
                         "with .sort_index(), which puts the oldest bar first")
    raise ValueError(f"{what} is not in time order (row {wrong} against row {wrong - 1}): sort the frame by it "
                     "with .sort_values(), or pass time_column=None to take the rows in the order given")
