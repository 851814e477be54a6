# SPDX-License-Identifier: MIT
"""Loads the TamselCharts C library and declares its functions to ctypes.

The package carries its own copy of the library (copied in when the package
is built); TAMSELCHARTS_LIBRARY names another one to use instead, e.g. a
debug or sanitizer build.
"""

from __future__ import annotations

import ctypes
import os
import sys
from typing import Any

_BUNDLED_NAMES = {
    "darwin": ("libtamselcharts.1.dylib",),
    # The name the Windows build gives the DLL (and its import library).
    "win32": ("TamselCharts.dll",),
}.get(sys.platform, ("libtamselcharts.so.1",))


class Values(ctypes.Structure):
    # Mirrors TamselChart_Values: four floats in this order.
    _fields_ = [
        ("CyclePeriod", ctypes.c_float),
        ("SignalToNoiseRatio", ctypes.c_float),
        ("SwingPosition", ctypes.c_float),
        ("TrendVigor", ctypes.c_float),
    ]


def _library_path() -> str:
    given = os.environ.get("TAMSELCHARTS_LIBRARY")
    if given:
        return given
    here = os.path.dirname(os.path.abspath(__file__))
    for name in _BUNDLED_NAMES:
        path = os.path.join(here, name)
        if os.path.exists(path):
            return path
    raise ImportError(
        f"the TamselCharts library ({_BUNDLED_NAMES[0]}) is not inside the package at {here}: "
        "install the package with pip so that its build copies the library in, "
        "or set TAMSELCHARTS_LIBRARY to the path of a built library"
    )


class IndicatorInfo(ctypes.Structure):
    # Mirrors TamselChart_IndicatorInfo.
    _fields_ = [
        ("column", ctypes.c_char_p),
        ("title", ctypes.c_char_p),
        ("exportName", ctypes.c_char_p),
        ("compute", ctypes.c_void_p),
        ("warmupBars", ctypes.c_int),
        ("lowest", ctypes.c_float),
        ("highest", ctypes.c_float),
        ("mayBeNaN", ctypes.c_int),
    ]


class PriceProblem(ctypes.Structure):
    # Mirrors TamselChart_PriceProblem: what the missing-price policy refused.
    _fields_ = [
        ("kind", ctypes.c_int),
        ("bar", ctypes.c_int),
        ("column", ctypes.c_int),
        ("price", ctypes.c_double),
    ]


class SeriesIO(ctypes.Structure):
    # Mirrors TamselChart_SeriesIO: one series of a many-series call.
    _fields_ = [
        ("high", ctypes.c_void_p),
        ("low", ctypes.c_void_p),
        ("count", ctypes.c_int),
        ("cyclePeriod", ctypes.c_void_p),
        ("signalToNoiseRatio", ctypes.c_void_p),
        ("swingPosition", ctypes.c_void_p),
        ("trendVigor", ctypes.c_void_p),
    ]


def _declare(lib: Any, name: str, restype: Any, *argtypes: Any) -> None:
    function = getattr(lib, name)
    function.argtypes = list(argtypes)
    function.restype = restype


def _load() -> tuple[Any, str]:
    path = _library_path()
    try:
        # CDLL calls release the GIL for their duration, so threads computing
        # different series run in parallel.  CDLL, not WinDLL, on Windows too:
        # the DLL's functions are cdecl (the header declares no __stdcall), and
        # on 32-bit Windows WinDLL would leave their arguments on the stack.
        lib = ctypes.CDLL(path)
    except OSError as error:
        raise ImportError(f"cannot load the TamselCharts library {path}: {error}") from error

    pointer = ctypes.c_void_p
    count = ctypes.c_int
    values_pointer = ctypes.POINTER(Values)
    problem_pointer = ctypes.POINTER(PriceProblem)
    _declare(lib, "TamselChart_Version", ctypes.c_char_p)
    _declare(lib, "TamselChart_IndicatorCount", ctypes.c_int)
    _declare(lib, "TamselChart_Indicator", ctypes.POINTER(IndicatorInfo), ctypes.c_int)
    _declare(lib, "TamselChart_AllIndicators", ctypes.c_int, pointer, pointer, count, pointer, pointer, pointer,
             pointer)
    _declare(lib, "TamselChart_AllIndicatorsMany", ctypes.c_int, count, ctypes.POINTER(SeriesIO))
    _declare(lib, "TamselChart_ColumnNameMatches", ctypes.c_int, ctypes.c_char_p, ctypes.c_char_p)
    _declare(lib, "TamselChart_MissingPolicyName", ctypes.c_char_p, ctypes.c_int)
    _declare(lib, "TamselChart_PriceProblemText", ctypes.c_char_p, ctypes.c_int)
    _declare(lib, "TamselChart_ApplyMissingPolicy", ctypes.c_int, pointer, pointer, count, ctypes.c_int, pointer,
             pointer, problem_pointer)
    _declare(lib, "TamselChart_StreamCreate", pointer)
    _declare(lib, "TamselChart_StreamClone", pointer, pointer)
    _declare(lib, "TamselChart_StreamReset", None, pointer)
    _declare(lib, "TamselChart_StreamDestroy", None, pointer)
    _declare(lib, "TamselChart_StreamSetMissingPolicy", ctypes.c_int, pointer, ctypes.c_int)
    _declare(lib, "TamselChart_StreamMissingPolicy", ctypes.c_int, pointer)
    for name in ("TamselChart_StreamPush", "TamselChart_StreamPeek"):
        _declare(lib, name, ctypes.c_int, pointer, ctypes.c_float, ctypes.c_float, values_pointer)
    for name in ("TamselChart_StreamPushPrices", "TamselChart_StreamPeekPrices"):
        _declare(lib, name, ctypes.c_int, pointer, ctypes.c_double, ctypes.c_double, values_pointer, problem_pointer)
    _declare(lib, "TamselChart_StreamSave", ctypes.c_int, pointer, ctypes.c_char_p, count)
    _declare(lib, "TamselChart_StreamLoad", pointer, ctypes.c_char_p, count, ctypes.POINTER(ctypes.c_int))
    _declare(lib, "TamselChart_SnapshotProblemText", ctypes.c_char_p, ctypes.c_int)
    _declare(lib, "TamselChart_StreamSetCreate", pointer, count)
    _declare(lib, "TamselChart_StreamSetDestroy", None, pointer)
    _declare(lib, "TamselChart_StreamSetPushPrices", ctypes.c_int, pointer, pointer, pointer, pointer, pointer,
             problem_pointer, ctypes.POINTER(ctypes.c_int))
    _declare(lib, "TamselChart_StreamSetSetMissingPolicy", ctypes.c_int, pointer, ctypes.c_int, ctypes.c_int)
    _declare(lib, "TamselChart_StreamSetMemberMissingPolicy", ctypes.c_int, pointer, ctypes.c_int)
    _declare(lib, "TamselChart_StreamSetSave", ctypes.c_int, pointer, ctypes.c_int, ctypes.c_char_p, count)
    _declare(lib, "TamselChart_StreamSetLoad", ctypes.c_int, pointer, ctypes.c_int, ctypes.c_char_p, count,
             ctypes.POINTER(ctypes.c_int))
    return lib, path


lib, path = _load()
