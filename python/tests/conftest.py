# SPDX-License-Identifier: MIT
import os
import signal
import struct
from pathlib import Path

import numpy as np
import pytest

import tamselcharts

REPO = Path(__file__).resolve().parents[2]
GOLDEN = Path(os.environ.get("TAMSELCHARTS_GOLDEN", REPO / "tests" / "golden" / "golden.bin"))


def pytest_report_header(config):
    return f"tamselcharts from {os.path.dirname(tamselcharts.__file__)}, library {tamselcharts.library_path}"


def read_golden(path):
    """The golden file: "TSGOLD01", uint32 series count, then per series a
    uint32-prefixed name, a uint32 bar count and six little-endian float32
    per bar (high, low, then the four indicators)."""
    data = path.read_bytes()
    assert data[:8] == b"TSGOLD01", f"{path} is not a golden file"
    (count,) = struct.unpack_from("<I", data, 8)
    offset = 12
    series = {}
    for _ in range(count):
        (length,) = struct.unpack_from("<I", data, offset)
        name = data[offset + 4 : offset + 4 + length].decode()
        offset += 4 + length
        (bars,) = struct.unpack_from("<I", data, offset)
        offset += 4
        table = np.frombuffer(data, dtype="<f4", count=bars * 6, offset=offset).reshape(bars, 6).astype(np.float32)
        offset += bars * 24
        series[name] = table
    assert offset == len(data), "trailing bytes after the last series"
    return series


@pytest.fixture(scope="session")
def golden():
    return read_golden(GOLDEN)


def assert_same_bits(actual, expected, what=""):
    """Equal as the library's outputs are compared everywhere: bit for bit,
    any NaN equal to any NaN."""
    actual = np.asarray(actual, dtype=np.float32)
    expected = np.asarray(expected, dtype=np.float32)
    assert actual.shape == expected.shape, what
    same = (actual.view(np.uint32) == expected.view(np.uint32)) | (np.isnan(actual) & np.isnan(expected))
    if not same.all():
        bar = int(np.flatnonzero(~same)[0])
        raise AssertionError(f"{what}: first difference at bar {bar + 1}: {actual[bar]!r} != {expected[bar]!r}")


def default_signals():
    """For subprocess.Popen's preexec_fn: a child that is sent a signal
    starts with the signals' default actions, not with ones the test run
    inherited (a run started in the background or under nohup ignores
    SIGINT or SIGHUP, and Python then raises no KeyboardInterrupt)."""
    for number in (signal.SIGINT, signal.SIGHUP, signal.SIGTERM, signal.SIGQUIT):
        signal.signal(number, signal.SIG_DFL)


def random_walk(seed, bars, level=100.0):
    rng = np.random.default_rng(seed)
    mid = level + np.cumsum(rng.normal(scale=level * 0.01, size=bars))
    half = level * 0.005 * (0.2 + rng.random(bars))
    return mid + half, mid - half
