# SPDX-License-Identifier: MIT
"""Command line: python3 -m tamselcharts chart IN.csv -o OUT.png, and every
conversion handed to the bundled `tamsel` tool."""

from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Sequence
from typing import Optional

_USAGE = """usage: python3 -m tamselcharts chart [options] IN.csv -o OUT.png
       python3 -m tamselcharts [indicators] [tamsel options] [FILE...]

chart       draws the price and the four indicators to an image file
            (python3 -m tamselcharts chart --help for its options)
indicators  the four indicators beside the bars of CSV files: everything
            after it goes to the bundled `tamsel` tool, which also runs
            any command line that does not start with chart (tamsel --help)
"""

def _in_option_words(message: str) -> str:
    """The library's advice in this command's option names."""
    for keyword, option in (("missing='previous'", "--missing=previous"), ("missing='nan'", "--missing=nan"),
                            ("order='newest-first'", "--order=newest-first")):
        message = message.replace(keyword, option)
    return message


def _bars(text: str) -> int:
    """--last: a whole number of bars, at least one."""
    try:
        number = int(text, 10)
    except ValueError:
        number = 0
    if number < 1 or not text.strip().isdigit():
        raise argparse.ArgumentTypeError(f"must be a whole number of bars of at least 1, not {text!r}")
    return number


# Exit statuses of chart, the tool's for the same failures.
_CANNOT_READ, _CANNOT_WRITE, _MISSING_COLUMN, _MISSING_VALUE = 3, 4, 6, 9


def _chart(argv: Sequence[str]) -> int:
    parser = argparse.ArgumentParser(prog="python3 -m tamselcharts chart",
                                     description="Draws the price and the four indicators of a CSV file.")
    parser.add_argument("csv", help="CSV file with High and Low columns (Date and Close optional, any case; "
                                    "commas, semicolons or tabs)")
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

    from .chart import picture_format

    try:
        picture_format(args.output)
    except ValueError as error:
        parser.error(f"-o: {error}")

    from . import _api
    from ._policy import MissingPriceError
    from .chart import plot, read_prices

    try:
        frame = read_prices(args.csv)
    except (OSError, UnicodeError) as error:
        print(f"tamselcharts: {args.csv}: cannot read: {error}", file=sys.stderr)
        return _CANNOT_READ
    except ValueError as error:
        print(f"tamselcharts: {args.csv}: {error}", file=sys.stderr)
        return _CANNOT_READ
    try:
        plot(frame, args.output, title=args.title or os.path.basename(args.csv), last=args.last,
             high_column=args.high, low_column=args.low, missing=args.missing, order=args.order)
    except _api.ColumnNotFoundError as error:
        print(f"tamselcharts: {args.csv}: {error}", file=sys.stderr)
        return _MISSING_COLUMN
    except MissingPriceError as error:
        print(f"tamselcharts: {args.csv}: {_in_option_words(str(error))}", file=sys.stderr)
        return _MISSING_VALUE
    except OSError as error:
        print(f"tamselcharts: {args.output}: cannot write: {error}", file=sys.stderr)
        return _CANNOT_WRITE
    except (ValueError, TypeError) as error:
        print(f"tamselcharts: {args.csv}: {_in_option_words(str(error))}", file=sys.stderr)
        return 1
    return 0


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
