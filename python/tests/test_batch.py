# SPDX-License-Identifier: MIT
import io
import os
import re
import subprocess
import sys
from pathlib import Path
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pandas as pd
import pytest
from conftest import REPO, assert_same_bits, default_signals, random_walk

import tamselcharts as tc

SINGLE = {
    "cycle_period": tc.cycle_period,
    "signal_to_noise": tc.signal_to_noise_ratio,
    "swing_position": tc.swing_position,
    "trend_vigor": tc.trend_vigor,
}


def test_every_golden_series_bit_for_bit(golden):
    assert len(golden) > 50
    for name, table in golden.items():
        high, low, expected = table[:, 0], table[:, 1], table[:, 2:]
        # missing="nan": the library's own output, NaN prices included.
        together = tc.indicators(high, low, missing="nan")
        for column, (key, single) in enumerate(SINGLE.items()):
            assert_same_bits(single(high, low, missing="nan"), expected[:, column], f"{name} {key}")
            assert_same_bits(getattr(together, key), expected[:, column], f"{name} {key} (all in one)")


def test_golden_through_a_dataframe_and_other_input_types(golden):
    table = golden["walk_long"]
    high, low, expected = table[:, 0], table[:, 1], table[:, 2:]
    # float64 values that round to the golden float32 prices give the same bits.
    frame = pd.DataFrame({"HIGH": high.astype(np.float64), "Low": list(map(float, low))})
    result = tc.indicators(frame)
    for column, key in enumerate(tc.COLUMNS):
        assert_same_bits(result[key], expected[:, column], key)
    # Every other element of an interleaved buffer: a strided, non-contiguous view.
    both = np.empty(2 * len(high), dtype=np.float32)
    both[0::2], both[1::2] = high, low
    assert not both[0::2].flags.c_contiguous
    assert_same_bits(tc.trend_vigor(both[0::2], both[1::2]), expected[:, 3], "strided")


def test_inputs_are_rounded_to_float32_as_the_library_takes_them():
    high, low = random_walk(3, 400)
    as_float32 = tc.indicators(high.astype(np.float32), low.astype(np.float32))
    as_float64 = tc.indicators(high, low)
    for key in tc.COLUMNS:
        assert getattr(as_float64, key).dtype == np.float32
        assert_same_bits(getattr(as_float64, key), getattr(as_float32, key), key)
    integers = tc.swing_position(np.arange(100, 300, dtype=np.int64), np.arange(98, 298, dtype=np.int16))
    assert_same_bits(integers, tc.swing_position(np.arange(100.0, 300.0), np.arange(98.0, 298.0)), "integers")
    # A nullable pandas column: its missing value is a NaN price.
    nullable = pd.Series(list(high[:50]) + [None] + list(high[51:100]), dtype="Float64")
    with_nan = high[:100].copy()
    with_nan[50] = np.nan
    assert_same_bits(tc.cycle_period(nullable, low[:100], missing="nan"),
                     tc.cycle_period(with_nan, low[:100], missing="nan"), "nullable")


def test_empty_series_give_empty_results():
    assert tc.cycle_period([], []).shape == (0,)
    assert all(values.shape == (0,) for values in tc.indicators(np.array([]), np.array([])))


@pytest.mark.parametrize(
    "high, low, error, message",
    [
        ([1.0, 2.0, 3.0], [1.0, 2.0], ValueError, "equal lengths"),
        (np.ones((4, 2)), np.ones((4, 2)), ValueError, "one-dimensional"),
        (5.0, 4.0, ValueError, "one-dimensional"),
        (["1", "2"], [1.0, 2.0], TypeError, "numbers"),
        ("12", "34", TypeError, "sequence of numbers"),
        ([1.0, 2.0], [True, False], TypeError, "numbers"),
        ([1.0, "x"], [1.0, 2.0], TypeError, "numbers"),
        (np.array(["2020-01-01"], dtype="datetime64[D]"), [1.0], TypeError, "numbers"),
        ([1 + 2j], [1.0], TypeError, "numbers"),
    ],
)
def test_bad_inputs_are_refused_with_a_clear_message(high, low, error, message):
    with pytest.raises(error, match=message):
        tc.indicators(high, low)
    with pytest.raises(error, match=message):
        tc.cycle_period(high, low)


def test_dataframe_keeps_its_index_and_finds_columns():
    high, low = random_walk(5, 120)
    index = pd.Index([f"bar{i}" for i in range(120)][::-1])  # any index that is not a time
    frame = pd.DataFrame({"High": high, "low": low, "volume": 1}, index=index)
    result = tc.indicators(frame)
    assert list(result.columns) == list(tc.COLUMNS)
    assert result.index.equals(frame.index)
    assert (result.dtypes == np.float32).all()
    assert_same_bits(result["trend_vigor"], tc.trend_vigor(high, low), "frame")

    named = pd.DataFrame({"bid_h": high, "bid_l": low})
    assert result.reset_index(drop=True).equals(tc.indicators(named, high_column="bid_h", low_column="BID_L"))

    with pytest.raises(ValueError, match="no high column"):
        tc.indicators(named)
    with pytest.raises(ValueError, match="several columns"):
        tc.indicators(pd.DataFrame({"High": high, "HIGH": high, "low": low}))
    # A header naming the high twice, as pandas reads it: which one holds the
    # prices is not for the library to guess.
    twice = io.StringIO("High,Low,High\n" + "".join(f"{h!r},{l!r},{h!r}\n" for h, l in zip(high, low)))
    with pytest.raises(ValueError, match=r"'High' looks repeated: \['High.1'\]"):
        tc.indicators(pd.read_csv(twice))
    with pytest.raises(ValueError, match="looks repeated"):
        tc.indicators(pd.DataFrame({"AAPL.Low": low, "High": high, "AAPL.Low_duplicated_0": low}))
    assert result.reset_index(drop=True).equals(
        tc.indicators(pd.DataFrame({"High": high, "Low": low, "High.x": high, "Low.0": low})))
    with pytest.raises(TypeError):
        tc.indicators(frame, low)


def test_threads_compute_independently():
    series = [random_walk(seed, 3000) for seed in range(8)]
    alone = [tc.indicators(h, l) for h, l in series]
    with ThreadPoolExecutor(4) as pool:
        together = list(pool.map(lambda pair: tc.indicators(*pair), series * 3))
    for i, result in enumerate(together):
        for key in tc.COLUMNS:
            assert_same_bits(getattr(result, key), getattr(alone[i % 8], key), key)


def test_library_location_can_be_overridden(tmp_path):
    copy = tmp_path / "libcopy.so"
    copy.write_bytes(Path(tc.library_path).read_bytes())
    probe = "import tamselcharts; print(tamselcharts.library_path)"
    env = dict(os.environ, TAMSELCHARTS_LIBRARY=str(copy))
    run = subprocess.run([sys.executable, "-c", probe], env=env, capture_output=True, text=True, check=True)
    assert run.stdout.strip() == str(copy)

    env["TAMSELCHARTS_LIBRARY"] = str(tmp_path / "missing.so")
    run = subprocess.run([sys.executable, "-c", probe], env=env, capture_output=True, text=True)
    assert run.returncode != 0 and "missing.so" in run.stderr


def test_the_warmup_table_is_the_start_up_the_library_shows(golden):
    # Cycle period and signal-to-noise hold fixed start-up values for exactly
    # their WARMUP bars on every series; the bar after can differ.
    finite = [table for table in golden.values() if len(table) > 60 and np.isfinite(table[:, :2]).all()]
    period, ratio = tc.WARMUP["cycle_period"], tc.WARMUP["signal_to_noise"]
    for table in finite:
        assert (table[:2, 2] == 0).all() and (table[2:period, 2] == 18).all()
        assert (table[:ratio, 3] == 1).all()
    assert any(table[period, 2] != 18 for table in finite)
    assert any(table[ratio, 3] != 1 for table in finite)
    # Swing position: a 51-bar window; trend vigor: a look-back of at most 29 bars.
    assert tc.WARMUP["swing_position"] == 51 - 1 and tc.WARMUP["trend_vigor"] == 29

    # The same table in the package's README and in the C header.
    readme = (REPO / "python" / "README.md").read_text()
    header = (REPO / "include" / "TamselCharts.h").read_text()
    for column, bars in tc.WARMUP.items():
        assert re.search(rf"\| `{column}` \| {bars} \|", readme), f"README warm-up row of {column}"
        assert re.search(rf"\*\s+{column}\s+{bars}\b", header), f"header warm-up row of {column}"


def test_ctrl_c_stops_a_long_call_promptly(tmp_path):
    # Ten million bars take seconds in the library; SIGINT must end the
    # call at once with KeyboardInterrupt, not when the C call returns.
    script = (
        "import time, numpy as np, tamselcharts as tc\n"
        "high = np.linspace(100, 200, 10_000_000); low = high - 1\n"
        "print('ready', flush=True)\n"
        "try:\n"
        "    for _ in range(20): tc.indicators(high, low)\n"
        "except KeyboardInterrupt:\n"
        "    print('interrupted', time.monotonic(), flush=True)\n")
    import signal
    import time
    with subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, text=True,
                          preexec_fn=default_signals) as child:
        assert child.stdout.readline() == "ready\n"
        time.sleep(1.0)
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        line = child.stdout.readline()
        child.wait(30)
    assert line.startswith("interrupted"), line
    assert float(line.split()[1]) - sent < 2.0


def test_the_package_version_is_the_headers():
    header = (REPO / "include" / "TamselCharts.h").read_text()
    macros = [re.search(rf"#define TAMSELCHARTS_VERSION_{part} (\d+)", header)[1] for part in ("MAJOR", "MINOR", "PATCH")]
    assert tc.__version__ == ".".join(macros)
    from tamselcharts._library import lib
    assert lib.TamselChart_Version().decode() == tc.__version__
