# SPDX-License-Identifier: MIT
"""The library's indicator table, read once: the column names, chart titles,
start-up bars and value ranges every part of the package uses, so that the
names are spelled in the C library alone."""

from __future__ import annotations

from collections.abc import Callable
from typing import Any, NamedTuple

from ctypes import c_int, c_void_p

from ._library import lib as _lib


class Indicator(NamedTuple):
    column: str
    title: str
    warmup_bars: int
    lowest: float
    highest: float
    may_be_nan: bool
    compute: Callable[..., int]


def _read() -> tuple[Indicator, ...]:
    entries = []
    for index in range(_lib.TamselChart_IndicatorCount()):
        info = _lib.TamselChart_Indicator(index).contents
        export: Any = getattr(_lib, info.exportName.decode())
        export.argtypes = [c_void_p, c_void_p, c_int, c_void_p]
        export.restype = c_int
        entries.append(Indicator(info.column.decode(), info.title.decode(), int(info.warmupBars),
                                 float(info.lowest), float(info.highest), bool(info.mayBeNaN), export))
    return tuple(entries)

INDICATORS: tuple[Indicator, ...] = _read()
BY_COLUMN: dict[str, Indicator] = {indicator.column: indicator for indicator in INDICATORS}
