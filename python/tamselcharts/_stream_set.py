# SPDX-License-Identifier: MIT
"""Many live series pushed together, over the library's stream set."""

from __future__ import annotations

import ctypes
import operator
from typing import Any, NamedTuple, Union

import numpy as np
import numpy.typing as npt

from ._core import COLUMNS, pair
from ._library import PriceProblem
from ._library import lib as _lib
from ._policy import MISSING_POLICIES, FloatArray, Missing, Warmup, check_missing, refusal, warmup_bars
from ._stream import _SNAPSHOT_BARS, _SNAPSHOT_BARS_OFFSET, _SNAPSHOT_OUT_OF_MEMORY, LibraryObject, SnapshotError

BarArray = npt.NDArray[np.int64]


class SetValues(NamedTuple):
    """Every member's latest values after a push, member i at index i: its
    bar number (0 before its first bar, when its values are NaN) and the
    four indicators as float32 arrays."""

    bar: BarArray
    cycle_period: FloatArray
    signal_to_noise: FloatArray
    swing_position: FloatArray
    trend_vigor: FloatArray


assert SetValues._fields[1:] == COLUMNS, "the fields follow the library's indicator table"


def _from_snapshots(snapshots: list[bytes], warmup: Warmup) -> StreamSet:
    """pickle's way back: every member's snapshot and the warm-up choice."""
    members = StreamSet(len(snapshots), warmup=warmup)
    for member, data in enumerate(snapshots):
        members.load(member, data)
    return members


class StreamSet(LibraryObject):
    """A stream for each of a fixed number of series (members, numbered from
    0), pushed together one interval at a time.

    At every bar each member gives exactly the values of a Stream of its own
    pushed with the same bars; the library computes members side by side.
    push() takes one high and one low per member and, optionally, which
    members have a bar this interval: the others do not advance.  missing
    and warmup mean what they mean for Stream, per member (a loaded member
    takes its snapshot's missing-price policy).  A push is all or nothing: a
    refused price raises MissingPriceError naming the member, and no member
    advances.  The set holds about 12 KiB of C memory a member (up to twice
    that), freed by close(), by leaving a `with` block, or when it is garbage
    collected.  Its calls take turns between threads; it survives fork();
    pickle and copy go through its members' snapshots.
    """

    __slots__ = ("_bars", "_latest", "_warmup")
    _kind = "stream set"

    def __init__(self, members: int, *, missing: Missing = "error", warmup: Warmup = "values") -> None:
        if isinstance(members, bool) or not isinstance(members, (int, np.integer)):
            raise TypeError(f"members must be a whole number, not {type(members).__name__}")
        count = operator.index(members)
        if not 1 <= count <= 2**31 - 1:
            raise ValueError(f"a stream set needs 1 to {2**31 - 1} members, not {count}")
        policy = check_missing(missing)
        for column in COLUMNS:
            warmup_bars(warmup, column)
        handle = _lib.TamselChart_StreamSetCreate(count)
        if not handle:
            raise MemoryError(f"the TamselCharts library could not allocate a stream set of {count} members")
        self._own(handle, _lib.TamselChart_StreamSetDestroy)
        _lib.TamselChart_StreamSetSetMissingPolicy(handle, -1, policy)
        self._bars = np.zeros(count, dtype=np.int64)
        # The library writes each pushed member's TamselChart_Values here and
        # leaves the others' as they were: a member's latest values.
        self._latest = np.full((count, len(COLUMNS)), np.nan, dtype=np.float32)
        self._warmup = warmup

    def _member(self, member: Any) -> int:
        if isinstance(member, bool) or not isinstance(member, (int, np.integer)):
            raise TypeError(f"a member is numbered by a whole number, not {type(member).__name__}")
        index = operator.index(member)
        if not 0 <= index < len(self._bars):
            raise IndexError(f"member {index} is not one of the set's {len(self._bars)} members (0 to "
                             f"{len(self._bars) - 1})")
        return index

    def _flags(self, has_bar: Any) -> npt.NDArray[np.uint8]:
        """One 0/1 byte per member from truth values (or 0 and 1); anything
        else is refused rather than read as true."""
        flags = np.asarray(has_bar)
        if flags.ndim != 1 or flags.shape[0] != len(self._bars):
            raise ValueError(f"has_bar must hold one truth value per member ({len(self._bars)}), "
                             f"got shape {flags.shape}")
        if flags.dtype == np.bool_:
            return np.ascontiguousarray(flags, dtype=np.uint8)
        if flags.dtype.kind in "iu" and bool(np.all((flags == 0) | (flags == 1))):
            return np.ascontiguousarray(flags, dtype=np.uint8)
        raise TypeError(f"has_bar must hold True/False (or 1/0), got dtype {flags.dtype}")

    def push(self, high: Any, low: Any, has_bar: Any = None) -> SetValues:
        """Commits one interval's closed bars: high[i] and low[i] are member
        i's (missing prices as for Stream.push); members whose has_bar is
        False have no bar this interval and are neither advanced nor read.
        Returns every member's latest values."""
        high_prices, low_prices = pair(high, low)
        count = len(self._bars)
        if high_prices.shape[0] != count:
            raise ValueError(f"high and low must hold one price per member ({count}), got {high_prices.shape[0]}")
        high_prices = np.ascontiguousarray(high_prices, dtype=np.float64)
        low_prices = np.ascontiguousarray(low_prices, dtype=np.float64)
        flags = None if has_bar is None else self._flags(has_bar)
        problem = PriceProblem()
        refusing = ctypes.c_int(-1)
        with self._lock:
            handle = self._live()
            taken = _lib.TamselChart_StreamSetPushPrices(
                handle, high_prices.ctypes.data, low_prices.ctypes.data, None if flags is None else flags.ctypes.data,
                self._latest.ctypes.data, ctypes.byref(problem), ctypes.byref(refusing))
            if taken < 0:
                member = refusing.value
                missing = MISSING_POLICIES[_lib.TamselChart_StreamSetMemberMissingPolicy(handle, member)]
                where = f"member {member}, {('high', 'low')[problem.column]} of bar {problem.bar}"
                raise refusal(problem, where, missing, "StreamSet(missing='{}')")
            self._bars += 1 if flags is None else flags
            bars = self._bars.copy()
            # One copy, an indicator to a row: each result is a row's view.
            columns = self._latest.T.copy()
        if self._warmup != "values":
            for row, column in zip(columns, COLUMNS):
                row[bars <= warmup_bars(self._warmup, column)] = np.nan
        return SetValues(bars, *columns)

    def to_bytes(self, member: int) -> bytes:
        """The member's snapshot: the bytes Stream.to_bytes gives for a
        stream in its state, which Stream.from_bytes and load() take."""
        index = self._member(member)
        with self._lock:
            handle = self._live()
            size = _lib.TamselChart_StreamSetSave(handle, index, None, 0)
            buffer = ctypes.create_string_buffer(max(size, 1))
            written = _lib.TamselChart_StreamSetSave(handle, index, buffer, size)
        if written != size or size <= 0:
            raise RuntimeError(f"the TamselCharts library saved {written} bytes of a {size}-byte snapshot")
        return buffer.raw[:size]

    def load(self, member: int, data: Union[bytes, bytearray, memoryview]) -> None:
        """Replaces the member with the stream of a snapshot (a Stream's or a
        member's), its missing-price policy included; SnapshotError (a
        ValueError) says why bytes cannot be loaded, the member unchanged."""
        index = self._member(member)
        if isinstance(data, str) or not isinstance(data, (bytes, bytearray, memoryview)):
            raise TypeError(f"a snapshot is bytes, not {type(data).__name__}")
        raw = bytes(data)
        if len(raw) > 2**31 - 1:
            raise SnapshotError(f"cannot load member {index} from {len(raw)} bytes: no snapshot is that long", 4)
        reason = ctypes.c_int(0)
        with self._lock:
            loaded = _lib.TamselChart_StreamSetLoad(self._live(), index, raw, len(raw), ctypes.byref(reason))
            if loaded == 1:
                (self._bars[index],) = _SNAPSHOT_BARS.unpack_from(raw, _SNAPSHOT_BARS_OFFSET)
                self._latest[index] = np.nan
                return
        if reason.value == _SNAPSHOT_OUT_OF_MEMORY:
            raise MemoryError("the TamselCharts library could not allocate a stream")
        text = _lib.TamselChart_SnapshotProblemText(reason.value).decode()
        raise SnapshotError(f"cannot load member {index} from {len(raw)} bytes: {text}", reason.value)

    def missing(self, member: int) -> str:
        """The member's missing-price policy."""
        index = self._member(member)
        with self._lock:
            return str(MISSING_POLICIES[_lib.TamselChart_StreamSetMemberMissingPolicy(self._live(), index)])

    def clone(self) -> StreamSet:
        """An independent copy whose members continue exactly as these."""
        return _from_snapshots([self.to_bytes(i) for i in range(len(self))], self._warmup)

    def __copy__(self) -> StreamSet:
        return self.clone()

    def __deepcopy__(self, memo: dict[int, Any]) -> StreamSet:
        return self.clone()

    def __reduce__(self) -> tuple[Any, ...]:
        return (_from_snapshots, ([self.to_bytes(i) for i in range(len(self))], self._warmup))

    def __len__(self) -> int:
        return len(self._bars)

    @property
    def bars(self) -> BarArray:
        """Each member's bars pushed so far (a copy)."""
        return self._bars.copy()

    def __repr__(self) -> str:
        state = "closed" if self._handle is None else f"{len(self)} members"
        return f"<tamselcharts.StreamSet {state}>"
