"""Command line: python3 -m tamselcharts chart|indicators IN.csv ..."""

import argparse
import sys


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m tamselcharts",
                                     description="Cycle-based indicators of a high/low price CSV file.")
    commands = parser.add_subparsers(dest="command", required=True)

    chart = commands.add_parser("chart", help="draw the price and the four indicators to an image file")
    chart.add_argument("csv", help="CSV file with High and Low columns (Date and Close optional, any case)")
    chart.add_argument("-o", "--output", required=True, help="image file to write; .png, .svg, .pdf")
    chart.add_argument("--title", help="title above the price (default: the file name)")
    chart.add_argument("--last", type=int, metavar="N",
                       help="show only the last N bars (the indicators still see every bar)")

    table = commands.add_parser("indicators", help="write the four indicators of every bar as CSV")
    table.add_argument("csv", help="CSV file with High and Low columns (any case)")
    table.add_argument("-o", "--output", default="-", help="CSV file to write (default: standard output)")

    args = parser.parse_args(argv)

    from .chart import read_prices

    try:
        frame = read_prices(args.csv)
        if args.command == "chart":
            from .chart import plot

            plot(frame, args.output, title=args.title or args.csv, last=args.last)
        else:
            from ._core import indicators

            result = indicators(frame)
            result.to_csv(sys.stdout if args.output == "-" else args.output, float_format="%.9g")
    except (OSError, ValueError, TypeError) as error:
        print(f"tamselcharts: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
