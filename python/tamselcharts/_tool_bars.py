# SPDX-License-Identifier: MIT
"""A price file read by the bundled `tamsel` tool (`tamsel --bars`): the
bars, taken prices and indicators exactly as `tamsel` computes them from
that file, with its reader's rules (delimiters, byte-order marks, quoted and
<bracketed> headers, decimal commas, dates, missing prices, row order) and,
when it refuses the file, its message and exit status."""

from __future__ import annotations

import io
import os
import re
import subprocess
from typing import Any, NamedTuple, Optional

import numpy as np

from ._table import INDICATORS
from tamselcharts_tool import tool_path

# ISO 8601 dates, with a time and an offset or not: the only time text read
# as a time, since 01.02.2024 or 02/01/2024 may be either day first or month
# first and a misread date would put a bar in the wrong place.
_ISO_TIME = re.compile(r"\d{4}-\d{2}-\d{2}(?:[ T]\d{2}:\d{2}(?::\d{2}(?:\.\d+)?)?(Z|[+-]\d{2}:?\d{2})?)?")


class PriceFileError(ValueError):
    """`tamsel` refused the price file: `message` is its message (one or
    more lines, as it printed them), `status` its exit status."""

    def __init__(self, message: str, status: int) -> None:
        super().__init__(message.rstrip("\n"))
        self.message = message
        self.status = status


class FileBars(NamedTuple):
    """The bars of a price file in time order."""

    times: list[str]  # each bar's date cell as written, "" without a date column
    high: Any  # float32 prices as the indicators took them
    low: Any
    values: dict[str, Any]  # float32 series by indicator column


def tool_arguments(path: Any, *, high: Optional[str] = None, low: Optional[str] = None,
                   missing: Optional[str] = None, order: Optional[str] = None) -> list[str]:
    """The command line of `tamsel --bars` for these options (None leaves
    tamsel's own default)."""
    arguments = ["--bars"]
    for option, value in (("--high", high), ("--low", low), ("--missing", missing), ("--order", order)):
        if value is not None:
            arguments.append(f"{option}={value}")
    # "--" keeps a file named like an option a file name.
    return [*arguments, "--", os.fspath(path)]


def read_bars(path: Any, **options: Optional[str]) -> FileBars:
    """Runs `tamsel --bars` on the file; PriceFileError when it refuses."""
    tool = tool_path()
    if not os.access(tool, os.X_OK):
        raise PriceFileError(f"tamselcharts: the tamsel tool is not in this installation ({tool}); install the "
                             "tamselcharts wheel, or set TAMSELCHARTS_TOOL to a built tamsel\n", 127)
    done = subprocess.run([tool, *tool_arguments(path, **options)], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if done.returncode != 0:
        # Ended by a signal: the status a shell gives, 128 + its number.
        status = done.returncode if done.returncode > 0 else 128 - done.returncode
        raise PriceFileError(done.stderr.decode("utf-8", "backslashreplace"), status)
    return parse_bars(done.stdout, newest_first=options.get("order") == "newest-first")


def parse_bars(table: bytes, *, newest_first: bool = False) -> FileBars:
    """The --bars table (comma, '.', LF, "nan") in time order."""
    import pandas as pd

    numbers = ["high", "low", *(indicator.column for indicator in INDICATORS)]
    # Read as text and converted by numpy, whose reading of a number is
    # exact: each is the shortest text of a float32, which read as a double
    # and rounded gives back that same float32 (pandas' own fast reader may
    # be one unit off, and its exact mode is going away).
    frame = pd.read_csv(io.BytesIO(table), dtype=str, keep_default_na=False)
    if newest_first:  # tamsel writes them in the file's order
        frame = frame.iloc[::-1]
    column = {name: frame[name].to_numpy(dtype=object).astype(np.float64).astype(np.float32) for name in numbers}
    return FileBars(frame["time"].tolist(), column["high"], column["low"],
                    {indicator.column: column[indicator.column] for indicator in INDICATORS})


def parse_times(times: list[str]) -> Optional[Any]:
    """datetime64 values of the bars' time text when every one is an ISO
    8601 time, all with an offset or all without, strictly increasing;
    None otherwise (the chart then counts bars)."""
    import pandas as pd

    matches = [_ISO_TIME.fullmatch(text) for text in times]
    if not times or not all(matches):
        return None
    offsets = {match[1] is not None for match in matches if match is not None}
    if len(offsets) != 1:
        return None
    try:
        # Every text matched the ISO pattern above: pandas 2 and later are
        # told so (rather than guessing, and warning, element by element).
        iso: dict[str, Any] = {"format": "ISO8601"} if int(pd.__version__.split(".")[0]) >= 2 else {}
        if offsets == {True}:
            # Shown in UTC: bars from several offsets stay in time order.
            stamps = pd.to_datetime(times, utc=True, **iso).tz_localize(None)
        else:
            stamps = pd.to_datetime(times, **iso)
    except (ValueError, OverflowError):
        return None
    values = stamps.to_numpy()
    if len(values) > 1 and not bool((values[1:] > values[:-1]).all()):
        return None
    return values
