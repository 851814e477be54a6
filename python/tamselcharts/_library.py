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
    "win32": ("tamselcharts.dll",),
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


def _load() -> tuple[Any, str]:
    path = _library_path()
    try:
        # CDLL calls release the GIL for their duration, so threads computing
        # different series run in parallel.
        lib = ctypes.CDLL(path)
    except OSError as error:
        raise ImportError(f"cannot load the TamselCharts library {path}: {error}") from error

    pointer = ctypes.c_void_p
    count = ctypes.c_int
    for name in ("TamselChart_CyclePeriod", "TamselChart_SignalToNoiseRatio",
                 "TamselChart_SwingPosition", "TamselChart_TrendVigor"):
        function = getattr(lib, name)
        function.argtypes = [pointer, pointer, count, pointer]
        function.restype = ctypes.c_int
    lib.TamselChart_AllIndicators.argtypes = [pointer, pointer, count, pointer, pointer, pointer, pointer]
    lib.TamselChart_AllIndicators.restype = ctypes.c_int

    lib.TamselChart_StreamCreate.argtypes = []
    lib.TamselChart_StreamCreate.restype = pointer
    lib.TamselChart_StreamClone.argtypes = [pointer]
    lib.TamselChart_StreamClone.restype = pointer
    lib.TamselChart_StreamReset.argtypes = [pointer]
    lib.TamselChart_StreamReset.restype = None
    lib.TamselChart_StreamDestroy.argtypes = [pointer]
    lib.TamselChart_StreamDestroy.restype = None
    values_pointer = ctypes.POINTER(Values)
    for name in ("TamselChart_StreamPush", "TamselChart_StreamPeek"):
        function = getattr(lib, name)
        function.argtypes = [pointer, ctypes.c_float, ctypes.c_float, values_pointer]
        function.restype = ctypes.c_int
    return lib, path


lib, path = _load()
