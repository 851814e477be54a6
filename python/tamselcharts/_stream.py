# SPDX-License-Identifier: MIT
"""The four indicators one bar at a time, over the library's stream object."""

from __future__ import annotations

import ctypes
import math
import os
import struct
import threading
import weakref
from collections.abc import Callable
from typing import Any, Optional, TypeVar, Union

import numpy as np

from ._core import COLUMNS, Values, _number
from ._library import PriceProblem
from ._library import Values as _CValues
from ._library import lib as _lib
from ._policy import MISSING_POLICIES, Missing, Warmup, check_missing, refusal, warmup_bars

# Every live stream and stream set (each with a _lock held across its C
# calls), so that a fork can wait for calls in flight and give the child
# fresh locks.  New ones register under _registry_lock, which a fork holds
# from before to after, so none escapes the snapshot.
_registry: weakref.WeakSet[Any] = weakref.WeakSet()
_registry_lock = threading.Lock()
_forking: list[Any] = []


def _register_for_fork(owner: Any) -> None:
    # The lock is looked up at each call: a forked child gets a new one.
    with _registry_lock:
        _registry.add(owner)


_Owner = TypeVar("_Owner", bound="LibraryObject")


class LibraryObject:
    """A library object (a stream, a stream set) that this Python object
    owns: freed by close(), at the end of a `with` block or when the Python
    object is garbage collected, whichever comes first; its calls take turns
    on a lock, which a fork waits for and gives the child afresh."""

    __slots__ = ("_handle", "_finalizer", "_lock", "__weakref__")
    _kind = "library object"  # as messages name it

    def _own(self, handle: int, destroy: Callable[[int], None]) -> None:
        self._handle: Optional[int] = handle
        self._finalizer = weakref.finalize(self, destroy, handle)
        self._lock = threading.Lock()
        _register_for_fork(self)

    def _live(self) -> int:
        if self._handle is None:
            raise ValueError(f"the {self._kind} is closed")
        return self._handle

    @property
    def closed(self) -> bool:
        return self._handle is None

    def close(self) -> None:
        """Frees the memory; calling it again does nothing."""
        with self._lock:
            self._handle = None
            self._finalizer()

    def __enter__(self: _Owner) -> _Owner:
        self._live()
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()


def _before_fork() -> None:
    _registry_lock.acquire()
    _forking[:] = list(_registry)
    # A stream's lock is held only across one C call, so this waits for any
    # call in flight: the child's copy of a stream is never half updated.
    for stream in _forking:
        stream._lock.acquire()


def _after_fork_in_parent() -> None:
    for stream in reversed(_forking):
        stream._lock.release()
    _forking.clear()
    _registry_lock.release()


def _after_fork_in_child() -> None:
    global _registry_lock
    for stream in _forking:
        stream._lock = threading.Lock()
    _forking.clear()
    _registry_lock = threading.Lock()


if hasattr(os, "register_at_fork"):
    os.register_at_fork(before=_before_fork, after_in_parent=_after_fork_in_parent,
                        after_in_child=_after_fork_in_child)


def _price(value: Any, name: str) -> float:
    """The price as the policy looks at it, a double: None, pd.NA, NaT and a
    masked value are missing prices (NaN); text and truth values are refused."""
    if isinstance(value, (str, bytes)):
        raise TypeError(f"{name} must be a number, not {type(value).__name__}")
    if value is np.ma.masked:
        return math.nan
    return _number(value, name, 0)


class SnapshotError(ValueError):
    """Bytes that are no stream snapshot this library can load; `reason` is
    the library's number for why (too short, not a snapshot, an unknown
    format, damaged, a state no stream can be in)."""

    def __init__(self, message: str, reason: int) -> None:
        super().__init__(message)
        self.reason = reason


# Where a snapshot keeps its bar number (a little-endian i32 after the
# 24-byte header of mark, format, library version and size).
_SNAPSHOT_BARS = struct.Struct("<i")
_SNAPSHOT_BARS_OFFSET = 24
_SNAPSHOT_OUT_OF_MEMORY = 6


def _from_snapshot(data: bytes, warmup: Warmup) -> Stream:
    """pickle's way back: the snapshot and the Python-side warm-up choice."""
    return Stream.from_bytes(data, warmup=warmup)


class Stream(LibraryObject):
    """The four indicators one bar at a time, for live data.

    Pushing a series bar by bar gives at every bar exactly the batch values of
    that prefix.  peek() gives the values of a still-forming bar without
    committing it.  missing and warmup mean what they mean for indicators():
    a missing price (NaN, None, pd.NA, NaT) raises MissingPriceError and
    commits nothing, repeats the last pushed bar's price, or goes to the
    library; text is refused with TypeError; warmup="nan" or N gives
    NaN on the start-up bars.  A stream holds about 12 KiB of C memory, freed
    by close(), by leaving a `with` block, or when it is garbage collected.
    A stream may be shared between threads (its calls take turns) and
    survives fork(); copy.copy and copy.deepcopy clone it.  to_bytes() saves
    it as the library's snapshot (the same bytes on every platform) and
    from_bytes() goes on from one; pickle goes through them, so a stream can
    be stored or sent to another process and continues there bit for bit.
    """

    __slots__ = ("_bars", "_missing", "_warmup")
    _kind = "stream"

    def __init__(self, *, missing: Missing = "error", warmup: Warmup = "values", _handle: Optional[int] = None,
                 _bars: int = 0) -> None:
        policy = check_missing(missing)
        for column in COLUMNS:
            warmup_bars(warmup, column)
        handle = _lib.TamselChart_StreamCreate() if _handle is None else _handle
        if not handle:
            raise MemoryError("the TamselCharts library could not allocate a stream")
        self._own(handle, _lib.TamselChart_StreamDestroy)
        _lib.TamselChart_StreamSetMissingPolicy(handle, policy)
        self._bars = _bars
        self._missing = missing
        self._warmup = warmup

    def _call(self, function: Callable[..., int], high: Any, low: Any, commit: bool) -> Values:
        high_price, low_price = _price(high, "high"), _price(low, "low")
        out = _CValues()
        problem = PriceProblem()
        with self._lock:
            bar = function(self._live(), high_price, low_price, out, problem)
            if bar == 0:
                where = f"{('high', 'low')[problem.column]} of bar {self._bars + 1}"
                raise refusal(problem, where, self._missing, "Stream(missing='{}')")
            if commit:
                self._bars = bar
        values = [out.CyclePeriod, out.SignalToNoiseRatio, out.SwingPosition, out.TrendVigor]
        for i, column in enumerate(COLUMNS):
            if bar <= warmup_bars(self._warmup, column):
                values[i] = math.nan
        return Values(*values)

    def push(self, high: Any, low: Any) -> Values:
        """Commits one closed bar and returns its four values."""
        return self._call(_lib.TamselChart_StreamPushPrices, high, low, True)

    def peek(self, high: Any, low: Any) -> Values:
        """The values the bar would get if pushed now; nothing is committed."""
        return self._call(_lib.TamselChart_StreamPeekPrices, high, low, False)

    def clone(self) -> Stream:
        """An independent copy that continues exactly as this stream."""
        with self._lock:
            handle = _lib.TamselChart_StreamClone(self._live())
            bars = self._bars
        if not handle:
            raise MemoryError("the TamselCharts library could not allocate a stream")
        return Stream(missing=self._missing, warmup=self._warmup, _handle=handle, _bars=bars)

    def __copy__(self) -> Stream:
        return self.clone()

    def __deepcopy__(self, memo: dict[int, Any]) -> Stream:
        return self.clone()

    def to_bytes(self) -> bytes:
        """The stream's snapshot: everything it needs to go on, its
        missing-price policy included (warmup is this object's choice and
        is not part of it), as bytes that load on any platform."""
        with self._lock:
            handle = self._live()
            size = _lib.TamselChart_StreamSave(handle, None, 0)
            buffer = ctypes.create_string_buffer(size)
            written = _lib.TamselChart_StreamSave(handle, buffer, size)
        if written != size or size <= 0:
            raise RuntimeError(f"the TamselCharts library saved {written} bytes of a {size}-byte snapshot")
        return buffer.raw

    @classmethod
    def from_bytes(cls, data: Union[bytes, bytearray, memoryview], *, warmup: Warmup = "values") -> Stream:
        """A new stream that continues exactly as the one whose to_bytes()
        gave `data`, with its missing-price policy; SnapshotError (a
        ValueError) says why bytes that are cut, damaged or no snapshot
        cannot be loaded."""
        if isinstance(data, str) or not isinstance(data, (bytes, bytearray, memoryview)):
            raise TypeError(f"a snapshot is bytes, not {type(data).__name__}")
        raw = bytes(data)
        reason = ctypes.c_int(0)
        handle = _lib.TamselChart_StreamLoad(raw, len(raw), ctypes.byref(reason))
        if not handle:
            if reason.value == _SNAPSHOT_OUT_OF_MEMORY:
                raise MemoryError("the TamselCharts library could not allocate a stream")
            text = _lib.TamselChart_SnapshotProblemText(reason.value).decode()
            raise SnapshotError(f"cannot load the stream from {len(raw)} bytes: {text}", reason.value)
        missing: Any = MISSING_POLICIES[_lib.TamselChart_StreamMissingPolicy(handle)]
        (bars,) = _SNAPSHOT_BARS.unpack_from(raw, _SNAPSHOT_BARS_OFFSET)
        try:
            return cls(missing=missing, warmup=warmup, _handle=handle, _bars=bars)
        except BaseException:
            _lib.TamselChart_StreamDestroy(handle)
            raise

    def __reduce__(self) -> tuple[Any, ...]:
        return (_from_snapshot, (self.to_bytes(), self._warmup))

    def reset(self) -> None:
        """Back to bar 1, as a fresh stream."""
        with self._lock:
            _lib.TamselChart_StreamReset(self._live())
            self._bars = 0

    @property
    def bars(self) -> int:
        """The number of bars pushed so far."""
        return self._bars

    def __repr__(self) -> str:
        state = "closed" if self._handle is None else f"{self._bars} bars"
        return f"<tamselcharts.Stream {state}>"
