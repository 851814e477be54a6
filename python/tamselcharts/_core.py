"""The four indicators over numpy arrays and pandas DataFrames, and the stream."""

import threading
import weakref
from collections import namedtuple

import numpy as np

from ._library import Values as _CValues
from ._library import lib as _lib

COLUMNS = ("cycle_period", "signal_to_noise", "swing_position", "trend_vigor")

#: The four values of one bar, as a stream gives them.
Values = namedtuple("Values", COLUMNS)
#: The four indicator series of a whole high/low series, float32 arrays.
Indicators = namedtuple("Indicators", COLUMNS)

_INT_MAX = 2**31 - 1


def _prices(values, name):
    """One price series as a contiguous float32 array, the library's input type.

    Any numeric array-like is accepted and rounded to float32 exactly as the
    C library would receive it; text, dates, booleans and nested shapes are
    refused rather than guessed at.
    """
    if isinstance(values, (str, bytes)):
        raise TypeError(f"{name} must be a sequence of numbers, not {type(values).__name__}")
    # pandas' nullable columns (Float64, Int64) hold pd.NA, which numpy cannot
    # cast; they become NaN prices, which the library handles bar by bar.
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
    return np.ascontiguousarray(array, dtype=np.float32)


def _pair(high, low):
    high = _prices(high, "high")
    low = _prices(low, "low")
    if high.shape[0] != low.shape[0]:
        raise ValueError(f"high and low must have equal lengths, got {high.shape[0]} and {low.shape[0]}")
    return high, low


def _single(function):
    def compute(high, low):
        high, low = _pair(high, low)
        out = np.empty(high.shape[0], dtype=np.float32)
        if out.shape[0]:
            function(high.ctypes.data, low.ctypes.data, out.shape[0], out.ctypes.data)
        return out

    return compute


_cycle_period = _single(_lib.TamselChart_CyclePeriod)
_signal_to_noise_ratio = _single(_lib.TamselChart_SignalToNoiseRatio)
_swing_position = _single(_lib.TamselChart_SwingPosition)
_trend_vigor = _single(_lib.TamselChart_TrendVigor)


def cycle_period(high, low):
    """Length in bars of the dominant cycle, 6 to 30 (18 while warming up), per bar."""
    return _cycle_period(high, low)


def signal_to_noise_ratio(high, low):
    """Strength of the dominant cycle against the bar range, 1 to 12, per bar."""
    return _signal_to_noise_ratio(high, low)


def swing_position(high, low):
    """Where the cycle stands in its swing, -5 (bottom) to +5 (top), per bar."""
    return _swing_position(high, low)


def trend_vigor(high, low):
    """Price change over one cycle in units of the cycle's amplitude, -10 to +10, per bar."""
    return _trend_vigor(high, low)


def _all(high, low):
    high, low = _pair(high, low)
    outs = [np.empty(high.shape[0], dtype=np.float32) for _ in COLUMNS]
    if high.shape[0]:
        _lib.TamselChart_AllIndicators(high.ctypes.data, low.ctypes.data, high.shape[0],
                                       *(out.ctypes.data for out in outs))
    return Indicators(*outs)


def find_column(frame, wanted, role):
    """The column named `wanted`, matched exactly or else ignoring case."""
    if wanted in frame.columns:
        return wanted
    folded = str(wanted).casefold()
    matches = [column for column in frame.columns if isinstance(column, str) and column.casefold() == folded]
    if len(matches) == 1:
        return matches[0]
    if matches:
        raise ValueError(f"several columns could be the {role} column {wanted!r}: {matches}; name one exactly")
    raise ValueError(f"no {role} column {wanted!r} among the columns {list(frame.columns)}")


def indicators(high, low=None, *, high_column="high", low_column="low"):
    """All four indicators from one pass of the engine.

    indicators(high, low)  with two array-likes of equal length: an
        Indicators named tuple of four float32 arrays.
    indicators(frame)      with a pandas DataFrame holding high and low
        columns (found ignoring case; high_column/low_column name others): a
        DataFrame of the columns cycle_period, signal_to_noise,
        swing_position and trend_vigor on the frame's index.
    """
    import pandas as pd

    if isinstance(high, pd.DataFrame):
        if low is not None:
            raise TypeError("indicators(frame) takes the column names as high_column= and low_column=")
        frame = high
        result = _all(frame[find_column(frame, high_column, "high")], frame[find_column(frame, low_column, "low")])
        return pd.DataFrame(dict(zip(COLUMNS, result)), index=frame.index)
    if low is None:
        raise TypeError("indicators() needs a DataFrame, or a high and a low series")
    return _all(high, low)


def _price(value, name):
    if isinstance(value, (str, bytes)):
        raise TypeError(f"{name} must be a number, not {type(value).__name__}")
    try:
        return float(value)
    except (TypeError, ValueError) as error:
        raise TypeError(f"{name} must be a number: {error}") from None


class Stream:
    """The four indicators one bar at a time, for live data.

    Pushing a series bar by bar gives at every bar exactly the batch values of
    that prefix.  peek() gives the values of a still-forming bar without
    committing it.  A stream holds about 16 KiB of C memory, freed by close(),
    by leaving a `with` block, or when the stream is garbage collected.
    A stream may be shared between threads: its calls take turns.
    """

    __slots__ = ("_handle", "_finalizer", "_lock", "_bars", "__weakref__")

    def __init__(self, _handle=None, _bars=0):
        handle = _lib.TamselChart_StreamCreate() if _handle is None else _handle
        if not handle:
            raise MemoryError("the TamselCharts library could not allocate a stream")
        self._handle = handle
        self._finalizer = weakref.finalize(self, _lib.TamselChart_StreamDestroy, handle)
        self._lock = threading.Lock()
        self._bars = _bars

    def _live(self):
        if self._handle is None:
            raise ValueError("the stream is closed")
        return self._handle

    def _call(self, function, high, low, commit):
        high, low = _price(high, "high"), _price(low, "low")
        out = _CValues()
        with self._lock:
            bar = function(self._live(), high, low, out)
            if bar == 0:
                raise RuntimeError("the TamselCharts library refused the bar")
            if commit:
                self._bars = bar
        return Values(out.CyclePeriod, out.SignalToNoiseRatio, out.SwingPosition, out.TrendVigor)

    def push(self, high, low):
        """Commits one closed bar and returns its four values."""
        return self._call(_lib.TamselChart_StreamPush, high, low, True)

    def peek(self, high, low):
        """The values the bar would get if pushed now; nothing is committed."""
        return self._call(_lib.TamselChart_StreamPeek, high, low, False)

    def clone(self):
        """An independent copy that continues exactly as this stream."""
        with self._lock:
            handle = _lib.TamselChart_StreamClone(self._live())
            bars = self._bars
        if not handle:
            raise MemoryError("the TamselCharts library could not allocate a stream")
        return Stream(_handle=handle, _bars=bars)

    def reset(self):
        """Back to bar 1, as a fresh stream."""
        with self._lock:
            _lib.TamselChart_StreamReset(self._live())
            self._bars = 0

    @property
    def bars(self):
        """The number of bars pushed so far."""
        return self._bars

    @property
    def closed(self):
        return self._handle is None

    def close(self):
        """Frees the stream's memory; calling it again does nothing."""
        with self._lock:
            self._handle = None
            self._finalizer()

    def __enter__(self):
        self._live()
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        state = "closed" if self._handle is None else f"{self._bars} bars"
        return f"<tamselcharts.Stream {state}>"
