import struct
import subprocess
import sys

import numpy as np
import pandas as pd
import pytest
from conftest import random_walk

import tamselcharts as tc


def png_size(path):
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG file"
    return struct.unpack(">II", data[16:24])


@pytest.fixture
def prices_csv(tmp_path):
    high, low = random_walk(21, 400)
    frame = pd.DataFrame({"DATE": pd.date_range("2023-01-02", periods=400, freq="B").strftime("%Y-%m-%d"),
                          "Open": (high + low) / 2, "HIGH": high, "low": low, "Close": (high + low) / 2})
    path = tmp_path / "prices.csv"
    frame.to_csv(path, index=False)
    return path


def test_plot_draws_price_and_four_indicator_panes(tmp_path):
    high, low = random_walk(20, 500)
    frame = pd.DataFrame({"high": high, "low": low}, index=pd.date_range("2022-01-03", periods=500, freq="B"))
    path = tmp_path / "chart.png"
    figure = tc.plot(frame, path, title="walk", figsize=(10, 8), dpi=80)
    assert png_size(path) == (800, 640)
    assert path.stat().st_size > 20_000  # a real drawing, not an empty canvas
    price, period, snr, trend, swing = figure.axes
    assert len(price.lines) == 0 and len(price.collections) == 1  # no close column: only the ranges
    assert swing.get_ylim()[0] < -5 and swing.get_ylim()[1] > 5
    assert trend.get_ylim()[0] < -10 and trend.get_ylim()[1] > 10
    references = sorted(line.get_ydata()[0] for line in snr.lines[1:])
    assert references == [1, 12]


def test_command_line_chart(tmp_path, prices_csv):
    out = tmp_path / "out.png"
    run = subprocess.run([sys.executable, "-m", "tamselcharts", "chart", str(prices_csv), "-o", str(out)],
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert png_size(out) == (1200, 900)

    # A semicolon file with a byte-order mark and a gap, as vendors write them.
    source = pd.read_csv(prices_csv)
    source.loc[50, "HIGH"] = np.nan
    vendor = tmp_path / "vendor.csv"
    vendor.write_bytes(b"\xef\xbb\xbf" + source.to_csv(index=False, sep=";").encode())
    chart = [sys.executable, "-m", "tamselcharts", "chart", str(vendor), "-o", str(out)]
    run = subprocess.run(chart, capture_output=True, text=True)
    assert run.returncode == 9 and "'HIGH'" in run.stderr and "--missing" in run.stderr
    run = subprocess.run(chart + ["--missing=previous"], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr

    bad = tmp_path / "bad.csv"
    bad.write_text("date,price\n2024-01-01,1\n")
    run = subprocess.run([sys.executable, "-m", "tamselcharts", "chart", str(bad), "-o", str(out)],
                         capture_output=True, text=True)
    assert run.returncode == 6 and "no high column" in run.stderr
