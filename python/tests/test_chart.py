# SPDX-License-Identifier: MIT
import io
import os
import shutil
import signal
import stat
import struct
import subprocess
import sys

import matplotlib.dates as mdates
import numpy as np
import pandas as pd
import pytest
from pathlib import Path

from conftest import assert_same_bits, default_signals, random_walk

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
    # Newest first, as many vendors write: refused (tamsel's status) with the option that reads it.
    newest = tmp_path / "newest.csv"
    newest.write_text(source.iloc[::-1].to_csv(index=False))
    run = subprocess.run(chart[:4] + [str(newest)] + chart[5:] + ["--missing=previous"], capture_output=True, text=True)
    assert run.returncode == 10 and "--order=newest-first" in run.stderr
    run = subprocess.run(chart[:4] + [str(newest)] + chart[5:] + ["--missing=previous", "--order=newest-first"],
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr

    bad = tmp_path / "bad.csv"
    bad.write_text("date,price\n2024-01-01,1\n")
    run = subprocess.run([sys.executable, "-m", "tamselcharts", "chart", str(bad), "-o", str(out)],
                         capture_output=True, text=True)
    assert run.returncode == 6 and "no column named 'high'" in run.stderr


@pytest.mark.parametrize("bars, swing_shown", [(250, 250), (2600, 250)])
def test_title_start_up_last_values_and_a_readable_swing_pane(tmp_path, bars, swing_shown):
    high, low = random_walk(22, bars)
    frame = pd.DataFrame({"high": high, "low": low}, index=pd.date_range("2015-01-01", periods=bars, freq="B"))
    figure = tc.plot(frame, dpi=50)
    price, period, snr, trend, swing = figure.axes
    assert price.get_title() == f"TamselCharts indicators, 2015-01-01 to {frame.index[-1].date()}, {bars} bars"
    values = tc.indicators(frame)
    for ax, column in ((period, "cycle_period"), (snr, "signal_to_noise"), (trend, "trend_vigor"),
                       (swing, "swing_position")):
        # The start-up bars shaded up to the last start-up bar's time, where they are shown.
        # In data units whatever the patch type (a Polygon or, in newer
        # matplotlib, a Rectangle).
        shaded = [ax.transData.inverted().transform(patch.get_verts())[:, 0].max() for patch in ax.patches]
        if column == "swing_position" and bars > swing_shown:
            assert shaded == []
        else:
            assert shaded == [pytest.approx(mdates.date2num(frame.index[tc.WARMUP[column] - 1]))]
        # The last bar's value written beside the pane.
        assert [text.get_text() for text in ax.texts] == [f"{values[column].iloc[-1]:.4g}"]
    # The swing pane shows at most its last 250 bars, on its own time axis.
    (line,) = swing.get_lines()[:1]
    assert len(line.get_xdata()) == swing_shown
    assert price.get_xlim() != swing.get_xlim() if bars > 250 else price.get_xlim() == swing.get_xlim()


def test_a_picture_is_replaced_only_by_a_complete_one(tmp_path):
    high, low = random_walk(23, 120)
    frame = pd.DataFrame({"high": high, "low": low})
    old = tmp_path / "chart.png"
    old.write_bytes(b"the old picture")
    old.chmod(0o640)
    link = tmp_path / "latest.png"
    link.symlink_to(old.name)
    with pytest.raises(ValueError):  # a format matplotlib cannot write: nothing replaced or left behind
        tc.plot(frame, tmp_path / "chart.unknown-format", dpi=30)
    tc.plot(frame, link, dpi=30)
    assert link.is_symlink() and png_size(old) == (360, 270)
    assert old.stat().st_mode & 0o777 == 0o640
    assert sorted(path.name for path in tmp_path.iterdir()) == ["chart.png", "latest.png"]


def run_chart(*arguments, **options):
    return subprocess.run([sys.executable, "-m", "tamselcharts", "chart", *map(str, arguments)], capture_output=True,
                          text=True, **options)


def test_the_chart_writer_keeps_tamsels_promises(tmp_path, prices_csv):
    # A FIFO is written into, never replaced by a regular file.
    fifo = tmp_path / "pipe.svg"
    os.mkfifo(fifo)
    reader = subprocess.Popen(["cat", str(fifo)], stdout=subprocess.PIPE)
    done = run_chart(prices_csv, "-o", fifo, "--last", 50)
    picture = reader.communicate(timeout=60)[0]
    assert done.returncode == 0, done.stderr
    assert stat.S_ISFIFO(os.stat(fifo).st_mode) and picture.startswith(b"<?xml")
    # /dev/stdout is written directly.
    shown = subprocess.run([sys.executable, "-m", "tamselcharts", "chart", str(prices_csv), "-o", "/dev/stdout",
                            "--last", "50"], capture_output=True)
    assert shown.returncode == 0 and b"<svg" in shown.stdout[:2000] or shown.stdout.startswith(b"\x89PNG")
    # A legal name of 250 characters: the temporary's name is short.
    long_name = tmp_path / ("c" * 246 + ".png")
    assert run_chart(prices_csv, "-o", long_name, "--last", 50).returncode == 0 and long_name.is_file()
    # An existing picture keeps its permissions; nothing is left beside it.
    long_name.chmod(0o640)
    assert run_chart(prices_csv, "-o", long_name, "--last", 60).returncode == 0
    assert stat.S_IMODE(long_name.stat().st_mode) == 0o640
    assert sorted(p.name for p in tmp_path.iterdir()) == sorted(["pipe.svg", "prices.csv", long_name.name])


@pytest.mark.parametrize("arguments, message", [
    (["-o", "x.txt"], "extension .txt is none of"),
    (["-o", "x"], "extension (none)"),
    (["-o", "x.png", "--last", "0"], "at least 1"),
    (["-o", "x.png", "--last", "-5"], "at least 1"),
    (["-o", "x.png", "--last", "2.5"], "at least 1"),
])
def test_chart_usage_errors_name_the_option(tmp_path, prices_csv, arguments, message):
    done = run_chart(prices_csv, *arguments, cwd=tmp_path)
    assert done.returncode == 2 and message in done.stderr, done.stderr
    assert sorted(p.name for p in tmp_path.iterdir()) == ["prices.csv"]
    with pytest.raises(ValueError):
        tc.plot(pd.read_csv(prices_csv), tmp_path / "y.png", last=0)


@pytest.mark.parametrize("signal_number", [signal.SIGTERM, signal.SIGHUP, signal.SIGINT])
def test_a_signal_during_the_save_leaves_no_temporary(tmp_path, signal_number):
    # The save is slowed down inside savefig, then the process is signalled.
    script = (
        "import sys, time, numpy as np, pandas as pd, tamselcharts as tc\n"
        "from matplotlib.figure import Figure\n"
        "real = Figure.savefig\n"
        "def slow(self, *a, **k):\n"
        "    real(self, *a, **k); print('saving', flush=True); time.sleep(30)\n"
        "Figure.savefig = slow\n"
        "h = np.linspace(10, 20, 300)\n"
        "tc.plot(pd.DataFrame({'high': h, 'low': h - 1}), sys.argv[1])\n")
    target = tmp_path / "out.svg"
    target.write_bytes(b"old picture")
    with subprocess.Popen([sys.executable, "-c", script, str(target)], stdout=subprocess.PIPE, text=True,
                          stderr=subprocess.DEVNULL, preexec_fn=default_signals) as child:
        assert child.stdout.readline() == "saving\n"
        child.send_signal(signal_number)
        child.wait(30)
    assert child.returncode != 0
    assert sorted(p.name for p in tmp_path.iterdir()) == ["out.svg"]
    assert target.read_bytes() == b"old picture"


def tamsel(*arguments, **options):
    return subprocess.run([tc.tool_path(), *map(str, arguments)], capture_output=True, **options)


def pane_lines(figure):
    """The indicator series drawn, by pane title, in time order."""
    return {ax.get_ylabel().split("\n(")[0].replace("\n", " "): np.asarray(ax.lines[0].get_ydata(), dtype=np.float32)
            for ax in figure.axes[1:]}


def test_a_messy_vendor_file_is_charted_from_the_bars_tamsel_reads(tmp_path):
    # A byte-order mark, semicolons, quoted <bracketed> headers, day-first
    # dates and decimal commas: tamsel reads it, and the chart must draw
    # exactly tamsel's bars, on a bar-number axis (31.01.2024 is not ISO).
    high, low = random_walk(24, 120)
    dates = pd.date_range("2024-01-31", periods=120, freq="D").strftime("%d.%m.%Y")
    rows = "".join(f'{d};{str(round(h, 4)).replace(".", ",")};{str(round(l, 4)).replace(".", ",")};1,5\r\n'
                   for d, h, l in zip(dates, high, low))
    vendor = tmp_path / "vendor.csv"
    vendor.write_bytes(b"\xef\xbb\xbf" + ('"<DATE>";"<HIGH>";"<LOW>";"<CLOSE>"\r\n' + rows).encode())
    bars = tc._tool_bars.parse_bars(tamsel("--bars", vendor, check=True).stdout)
    table = {"high": bars.high, "low": bars.low, **bars.values}

    figure = tc.plot(vendor, dpi=40)
    drawn = pane_lines(figure)
    for indicator in tc.chart.INDICATORS:
        assert_same_bits(drawn[indicator.title], table[indicator.column], indicator.column)
    price = figure.axes[0]
    assert price.get_title() == f"TamselCharts indicators, 31.01.2024 to {dates[-1]}, 120 bars"
    assert list(figure.axes[1].lines[0].get_xdata()) == list(range(1, 121))
    segments = price.collections[0].get_segments()
    assert_same_bits([segment[1][1] for segment in segments], table["high"], "high")
    assert_same_bits([segment[0][1] for segment in segments], table["low"], "low")

    out = tmp_path / "vendor.png"
    done = run_chart(vendor, "-o", out, "--last", 60)
    assert done.returncode == 0, done.stderr
    assert png_size(out) == (1200, 900)


def test_iso_times_are_the_time_axis_and_newest_first_files_are_drawn_in_time_order(tmp_path):
    high, low = random_walk(25, 80)
    stamps = pd.date_range("2024-03-01 09:30", periods=80, freq="min")
    text = "Date,High,Low\n" + "".join(f"{t:%Y-%m-%dT%H:%M:%S}+01:00,{h},{l}\n"
                                       for t, h, l in list(zip(stamps, high, low))[::-1])
    newest = tmp_path / "newest.csv"
    newest.write_text(text)
    figure = tc.plot(newest, order="newest-first", dpi=40)
    x = figure.axes[1].lines[0].get_xdata()
    assert list(x) == list((stamps - pd.Timedelta(hours=1)).to_numpy())  # in UTC, oldest first
    expected = tc.indicators(high, low)
    assert_same_bits(figure.axes[1].lines[0].get_ydata(), expected.cycle_period, "cycle_period")


@pytest.mark.parametrize("times, parsed", [
    (["2024-01-02", "2024-01-03"], True),
    (["2024-01-02 09:30", "2024-01-02 09:31:05.5"], True),
    (["2024-01-02T09:30Z", "2024-01-02T10:30+0100", "2024-01-02T09:31-00:00"], False),  # 10:30+01 is 09:30Z again
    (["2024-01-02T09:30Z", "2024-01-02T09:31"], False),  # with and without an offset: which clock?
    (["02.01.2024", "03.01.2024"], False),
    (["01/02/2024", "01/03/2024"], False),
    (["20240102", "20240103"], False),
    (["2024-01-03", "2024-01-02"], False),
    (["", ""], False),
    (["2024-13-45", "2024-13-46"], False),
])
def test_only_unambiguous_time_text_is_read_as_times(times, parsed):
    from tamselcharts._tool_bars import parse_times

    assert (parse_times(times) is not None) == parsed


BAD_FILES = {
    "no_high.csv": b"Date,Price,Low\n2024-01-01,1,0.5\n",
    "ragged.csv": b"Date;High;Low\n2024-01-01;2;1\n2024-01-02;2\n",
    "text_price.csv": b"High,Low\n2,1\nabc,1\n",
    "gap.csv": "\ufeffHigh;Low\n2,5;1\n;1\n".encode(),
    "header_only.csv": b"High,Low\n",
    "utf16.csv": "High,Low\n2,1\n".encode("utf-16"),
    "backwards.csv": b"Date,High,Low\n2024-01-02,2,1\n2024-01-01,2,1\n",
    "hostile\x1b[31m.csv": b"High,Low\n2,1\n\x1b]0;owned\x07,1\n",
}


@pytest.mark.parametrize("name", sorted(BAD_FILES))
def test_a_file_tamsel_refuses_is_refused_with_its_status_and_message(tmp_path, name):
    bad = tmp_path / name
    bad.write_bytes(BAD_FILES[name])
    expected = tamsel(bad)
    assert expected.returncode not in (0, 1)
    done = subprocess.run([sys.executable, "-m", "tamselcharts", "chart", str(bad), "-o", str(tmp_path / "o.png")],
                          capture_output=True)
    assert (done.returncode, done.stderr) == (expected.returncode, expected.stderr)
    with pytest.raises(ValueError) as refused:
        tc.plot(bad)
    assert refused.value.status == expected.returncode
    assert not (tmp_path / "o.png").exists()
    missing = tamsel(tmp_path / "absent.csv")
    done = run_chart(tmp_path / "absent.csv", "-o", tmp_path / "o.png")
    assert (done.returncode, done.stderr) == (missing.returncode, missing.stderr.decode()) and missing.returncode == 3


def as_nobody():
    """Runs a command as an unprivileged user when the tests run as root,
    whom a read-only directory does not stop."""
    if os.geteuid() != 0:
        return {}
    return {"user": 65534, "group": 65534, "extra_groups": []}


@pytest.mark.parametrize("where", ["missing directory", "read-only directory", "a directory itself",
                                   "and a bad file"])
def test_an_output_that_cannot_be_written_gets_tamsels_status(tmp_path_factory, where):
    import tempfile

    base = Path(tempfile.mkdtemp(prefix="tc-out-"))  # reachable by the unprivileged user
    try:
        base.chmod(0o755)
        good = base / "prices.csv"
        high, low = random_walk(26, 60)
        good.write_text("High,Low\n" + "".join(f"{h},{l}\n" for h, l in zip(high, low)))
        bad = base / "gap.csv"
        bad.write_text("High,Low\n2,1\n,1\n")
        locked = base / "locked"
        locked.mkdir(mode=0o555)
        locked.chmod(0o555)
        source, target = {
            "missing directory": (good, base / "absent" / "out"),
            "read-only directory": (good, locked / "out"),
            "a directory itself": (good, locked),
            "and a bad file": (bad, base / "absent" / "out"),
        }[where]
        for path in (good, bad):
            path.chmod(0o644)
        expected = tamsel("-o", f"{target}.csv" if target != locked else target / "x" / "y.csv", source, **as_nobody())
        done = subprocess.run([sys.executable, "-m", "tamselcharts", "chart", str(source), "-o",
                               f"{target}.png" if target != locked else str(target)], capture_output=True,
                              text=True, **as_nobody())
        assert expected.returncode == 4, expected.stderr
        assert done.returncode == 4, done.stderr
        assert "cannot create" in done.stderr and "Traceback" not in done.stderr
        assert sorted(p.name for p in locked.iterdir()) == []
    finally:
        shutil.rmtree(base)
