# SPDX-License-Identifier: MIT
"""The one command-line tool: `python3 -m tamselcharts` and the `tamsel`
console command hand conversions to the bundled tamsel, which computes what
the package computes."""

import io
import os
import subprocess
import sys
from pathlib import Path

import numpy as np
import pandas as pd
import pytest
from conftest import assert_same_bits, random_walk

import tamselcharts as tc

MODULE = [sys.executable, "-m", "tamselcharts"]
CONSOLE = str(Path(sys.executable).with_name("tamsel"))


@pytest.fixture(scope="module")
def vendor_csv(tmp_path_factory):
    """Semicolons, a byte-order mark and one empty High cell, as vendors write them."""
    high, low = random_walk(31, 300)
    frame = pd.DataFrame({"Date": pd.date_range("2022-01-03", periods=300, freq="B").strftime("%Y-%m-%d"),
                          "High": high.astype(np.float32), "Low": low.astype(np.float32)})
    frame.loc[120, "High"] = np.nan
    path = tmp_path_factory.mktemp("cli") / "vendor.csv"
    path.write_bytes(b"\xef\xbb\xbf" + frame.to_csv(index=False, sep=";").encode())
    return path


def run(command, **options):
    return subprocess.run(command, capture_output=True, **options)


@pytest.mark.parametrize("arguments, status", [
    (["{csv}"], 9),
    (["--missing=previous", "{csv}"], 0),
    (["--missing", "nan", "-d", ";", "--indicators", "trend_vigor", "{csv}"], 0),
    (["--missing=sometimes", "{csv}"], 2),
    (["{csv}.absent"], 3),
])
def test_the_module_hands_conversions_to_tamsel(vendor_csv, arguments, status):
    arguments = [argument.format(csv=vendor_csv) for argument in arguments]
    direct = run([tc.tool_path(), *arguments])
    assert direct.returncode == status, direct.stderr
    for command in (MODULE + ["indicators"], MODULE, [CONSOLE]):
        handed = run(command + arguments)
        assert (handed.returncode, handed.stdout, handed.stderr) == (direct.returncode, direct.stdout, direct.stderr)
    if status == 9:
        assert b"--missing=previous" in direct.stderr and b"High" in direct.stderr


def test_the_tool_computes_what_the_package_computes(vendor_csv):
    converted = run([CONSOLE, "--missing=previous", str(vendor_csv)], check=True)
    table = pd.read_csv(io.BytesIO(converted.stdout), sep=";", encoding="utf-8-sig", index_col="Date",
                        parse_dates=True)
    source = pd.read_csv(vendor_csv, sep=";", encoding="utf-8-sig", index_col="Date", parse_dates=True)
    expected = tc.indicators(source, missing="previous")
    for column in tc.COLUMNS:
        assert_same_bits(table[column].to_numpy(np.float32), expected[column], column)


@pytest.mark.parametrize("command", [MODULE + ["indicators"], [CONSOLE], MODULE + ["--help"]])
def test_a_reader_that_goes_away_is_not_an_error_message(vendor_csv, command):
    big = vendor_csv.with_name("big.csv")
    if not big.exists():
        # The bars before the empty High cell, repeated with their dates left
        # out, so that the rows never run back in time.
        body = [line.split(";", 1)[1] for line in vendor_csv.read_text(encoding="utf-8-sig").splitlines()]
        big.write_text("\n".join(body[:1] + body[1:120] * 400) + "\n")
    arguments = [] if "--help" in command else [str(big)]
    pipeline = subprocess.run(" ".join(map(quote, command + arguments)) + " | head -c 10 >/dev/null",
                              shell=True, capture_output=True, text=True, executable="/bin/bash")
    assert pipeline.stderr == ""


def quote(text):
    return "'" + text.replace("'", "'\\''") + "'"


def test_usage_without_a_command(tmp_path):
    bare = run(MODULE, text=True)
    assert bare.returncode == 2 and "chart" in bare.stderr and "tamsel" in bare.stderr
    missing_tool = run(MODULE + ["indicators", "x.csv"], text=True,
                       env=dict(os.environ, TAMSELCHARTS_TOOL=str(tmp_path / "none")))
    assert missing_tool.returncode == 127 and "TAMSELCHARTS_TOOL" in missing_tool.stderr


def test_the_console_command_starts_without_numpy_or_pandas(tmp_path):
    for name in ("numpy", "pandas"):
        (tmp_path / f"{name}.py").write_text("raise ImportError('the tamsel command imported this')\n")
    version = run([CONSOLE, "--version"], env=dict(os.environ, PYTHONPATH=str(tmp_path)), text=True)
    assert version.returncode == 0 and version.stdout.startswith("tamsel "), version.stderr
