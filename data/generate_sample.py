#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes data/sample-daily.csv: ten years of synthetic daily bars.

The series is made up, not market data.  It is built so that the indicators
have something to find: a cycle whose length drifts between about 8 and 40
bars, trends that come and go, and quiet stretches where the cycle and the
noise almost vanish.  Weekdays only, 2015-01-01 to 2024-12-31 (holidays are
not left out).

The output is the same on every run and every platform: the random numbers
come from Python's Mersenne Twister with a fixed seed, and every price is
rounded to cents.  Python 3 standard library only:

    python3 data/generate_sample.py            # rewrites data/sample-daily.csv
    python3 data/generate_sample.py -o FILE
"""

import argparse
import datetime
import math
import pathlib
import random

SEED = 20150101
START = datetime.date(2015, 1, 1)
END = datetime.date(2024, 12, 31)


def regimes(rng, count):
    """Yields, per bar, (cycle period, cycle amplitude, drift, noise): each
    regime lasts 60 to 250 bars and hands over smoothly to the next."""
    bar = 0
    period, amplitude, drift, noise = 20.0, 2.0, 0.0, 0.6
    while bar < count:
        length = rng.randint(60, 250)
        kind = rng.choice(["cycle", "cycle", "trend", "quiet"])
        target_period = rng.uniform(8.0, 40.0)
        if kind == "quiet":
            target = (target_period, 0.2, 0.0, 0.15)
        elif kind == "trend":
            target = (target_period, rng.uniform(0.5, 2.0), rng.choice([-1, 1]) * rng.uniform(0.08, 0.25),
                      rng.uniform(0.4, 0.9))
        else:
            target = (target_period, rng.uniform(1.5, 4.0), rng.uniform(-0.03, 0.03), rng.uniform(0.3, 0.8))
        for step in range(length):
            # Ease towards the regime's values over its first 30 bars.
            w = min(1.0, (step + 1) / 30.0)
            yield (period + (target[0] - period) * w, amplitude + (target[1] - amplitude) * w,
                   drift + (target[2] - drift) * w, noise + (target[3] - noise) * w)
        period, amplitude, drift, noise = target
        bar += length


def weekdays(start, end):
    day = start
    while day <= end:
        if day.weekday() < 5:
            yield day
        day += datetime.timedelta(days=1)


def generate(path):
    rng = random.Random(SEED)
    days = list(weekdays(START, END))
    level = 100.0  # the price without the cycle
    phase = 0.0
    close = None
    rows = []
    for day, (period, amplitude, drift, noise) in zip(days, regimes(rng, len(days))):
        level = max(20.0, level + drift + rng.gauss(0.0, noise * 0.5))
        phase += 2.0 * math.pi / period  # the cycle's length changes without a jump in price
        mid = level + amplitude * math.sin(phase)
        open_ = mid + rng.gauss(0.0, noise * 0.5) if close is None else close + rng.gauss(0.0, noise * 0.3)
        close = mid + rng.gauss(0.0, noise * 0.5)
        reach = abs(rng.gauss(0.0, noise)) + 0.05
        high = max(open_, close) + reach * rng.uniform(0.2, 1.0)
        low = min(open_, close) - reach * rng.uniform(0.2, 1.0)
        volume = int(rng.lognormvariate(13.0, 0.35) * (1.0 + 2.0 * noise))
        rows.append((day.isoformat(), open_, high, low, close, volume))

    with open(path, "w", newline="") as out:
        out.write("Date,Open,High,Low,Close,Volume\n")
        for day, open_, high, low, close, volume in rows:
            out.write(f"{day},{open_:.2f},{high:.2f},{low:.2f},{close:.2f},{volume}\n")
    return len(rows)


def main():
    default = pathlib.Path(__file__).resolve().parent / "sample-daily.csv"
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-o", "--output", type=pathlib.Path, default=default)
    args = parser.parse_args()
    count = generate(args.output)
    print(f"{args.output}: {count} bars")


if __name__ == "__main__":
    main()
