# SPDX-License-Identifier: MIT
"""Command line: python3 -m tamselcharts chart IN.csv -o OUT.png, and every
conversion handed to the bundled `tamsel` tool."""

from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Sequence
from typing import BinaryIO, Optional

_USAGE = """usage: python3 -m tamselcharts chart [options] IN.csv -o OUT.png
       python3 -m tamselcharts [indicators] [tamsel options] [FILE...]

chart       draws the price and the four indicators to an image file
            (python3 -m tamselcharts chart --help for its options)
indicators  the four indicators beside the bars of CSV files: everything
            after it goes to the bundled `tamsel` tool, which also runs
            any command line that does not start with chart (tamsel --help)
"""

def _bars(text: str) -> int:
    """--last: a whole number of bars, at least one."""
    try:
        number = int(text, 10)
    except ValueError:
        number = 0
    if number < 1 or not text.strip().isdigit():
        raise argparse.ArgumentTypeError(f"must be a whole number of bars of at least 1, not {text!r}")
    return number


# Exit statuses of chart's own failures, tamsel's for the same failures;
# a price file tamsel refuses gives tamsel's own status and message.
_FAILED, _CANNOT_WRITE = 1, 4


def _chart(argv: Sequence[str]) -> int:
    parser = argparse.ArgumentParser(prog="python3 -m tamselcharts chart",
                                     description="Draws the price and the four indicators of a CSV file, read as "
                                                 "the tamsel tool reads it.")
    parser.add_argument("csv", help="CSV file with high and low columns (a date column optional), read by tamsel "
                                    "with its rules (tamsel --help); - for standard input")
    parser.add_argument("-o", "--output", required=True, help="image file to write; .png, .svg, .pdf")
    parser.add_argument("--title", help="title above the price (default: the file name and its dates)")
    parser.add_argument("--last", type=_bars, metavar="N",
                        help="show only the last N bars (the indicators still see every bar)")
    parser.add_argument("--high", default="high", help="name of the high column (default: high, any case)")
    parser.add_argument("--low", default="low", help="name of the low column (default: low, any case)")
    parser.add_argument("--missing", choices=("error", "previous", "nan"), default="error",
                        help="an empty or NaN high or low: stop (default), repeat the previous bar's, pass NaN")
    parser.add_argument("--order", choices=("oldest-first", "newest-first"), default="oldest-first",
                        help="the order of the file's rows (a date column must agree)")
    args = parser.parse_args(argv)

    from ._picture_file import PictureFileError, open_picture, picture_format

    try:
        kind = picture_format(args.output)
    except ValueError as error:
        parser.error(f"-o: {error}")

    from .chart import plot
    from ._tool_bars import PriceFileError

    def draw(out: Optional[BinaryIO]) -> None:
        figure = plot(args.csv, title=args.title or os.path.basename(args.csv), last=args.last,
                      high_column=args.high, low_column=args.low, missing=args.missing, order=args.order)
        if out is not None:
            figure.savefig(out, format=kind)

    try:
        if _openable(args.csv):
            # As tamsel does: an output that cannot be created is reported
            # before the input is read.
            with open_picture(args.output) as out:
                draw(out)
        else:
            draw(None)  # tamsel reports the unreadable input
    except PriceFileError as refused:
        sys.stderr.write(refused.message)
        return refused.status
    except PictureFileError as error:
        print(f"tamselcharts: {_printable(str(error))}", file=sys.stderr)
        return _CANNOT_WRITE
    except (ValueError, TypeError) as error:
        print(f"tamselcharts: {_printable(args.csv)}: {_printable(str(error))}", file=sys.stderr)
        return _FAILED
    return 0


def _openable(path: str) -> bool:
    if path == "-":
        return True
    try:
        with open(path, "rb"):
            return True
    except OSError:
        return False


def _printable(text: str) -> str:
    """A file name or message on the terminal: control characters and
    undecodable bytes escaped, never sent raw."""
    return "".join(char if char.isprintable() else char.encode("unicode_escape", "backslashreplace").decode("ascii")
                   for char in text)


def main(argv: Optional[Sequence[str]] = None) -> int:
    arguments = list(sys.argv[1:] if argv is None else argv)
    if arguments and arguments[0] == "chart":
        return _chart(arguments[1:])
    if not arguments:
        sys.stderr.write(_USAGE)
        return 2
    if arguments[0] in ("-h", "--help"):
        sys.stdout.write(_USAGE)
        return 0
    from tamselcharts_tool import run

    run(arguments[1:] if arguments[0] == "indicators" else arguments)


def entry() -> int:
    """main() for the console command: quiet when its reader goes away."""
    try:
        status = main()
        sys.stdout.flush()
        return status
    except BrokenPipeError:
        # The reader went away (| head): stop without a traceback, and keep
        # the interpreter's own final flush from reporting it again.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 141


if __name__ == "__main__":
    sys.exit(entry())
