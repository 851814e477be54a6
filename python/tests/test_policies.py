# SPDX-License-Identifier: MIT
"""Every policy through every entry point, against the library's plain output
on prices prepared by hand; and the refusals that protect the caller."""

import itertools

import numpy as np
import pandas as pd
import pytest
from conftest import assert_same_bits, random_walk

import tamselcharts as tc
from tamselcharts._core import all_indicators

BARS = 180
GAP = 61  # the bar whose High is missing


def priced_frame(gap=GAP):
    high, low = random_walk(41, BARS)
    frame = pd.DataFrame({"Open": low, "High": high, "Low": low},
                         index=pd.date_range("2021-03-01", periods=BARS, freq="B", name="Date"))
    if gap is not None:
        frame.iloc[gap, 1] = np.nan
    return frame


def expected(frame, missing, warmup):
    """The library's output for a time-ordered frame under the policies,
    prepared the way a careful pandas user would by hand."""
    prices = frame[["High", "Low"]]
    if missing == "previous":
        prices = prices.ffill()
    plain = all_indicators(prices["High"].to_numpy(), prices["Low"].to_numpy())
    result = pd.DataFrame(plain._asdict(), index=frame.index)
    for column in tc.COLUMNS:
        blank = {"values": 0, "nan": tc.WARMUP[column]}.get(warmup, warmup)
        result.iloc[:blank, result.columns.get_loc(column)] = np.nan
    return result


def through_functions(frame, **options):
    singles = (tc.cycle_period, tc.signal_to_noise_ratio, tc.swing_position, tc.trend_vigor)
    series = [single(frame["High"], frame["Low"], **options) for single in singles]
    for values, column in zip(series, tc.COLUMNS):
        assert values.name == column and values.index.equals(frame.index)
    return pd.concat(series, axis=1)


def through_accessor(frame, **options):
    appended = frame.tamsel.indicators(append=True, **options)
    assert list(appended.columns[:3]) == ["Open", "High", "Low"]
    methods = [frame.tamsel.cycle_period, frame.tamsel.signal_to_noise_ratio, frame.tamsel.swing_position,
               frame.tamsel.trend_vigor]
    for method, column in zip(methods, tc.COLUMNS):
        assert_same_bits(method(**options), appended[column], f"accessor {column}")
    return appended[list(tc.COLUMNS)]


def through_stream(frame, order, **options):
    if order == "newest-first":  # a stream takes bars as they come: oldest first
        frame = frame.iloc[::-1]
    with tc.Stream(**options) as stream:
        rows = [stream.push(high, low) for high, low in zip(frame["High"], frame["Low"])]
    result = pd.DataFrame(rows, columns=tc.COLUMNS, index=frame.index, dtype=np.float32)
    return result.iloc[::-1] if order == "newest-first" else result


ENTRY_POINTS = {
    "functions": lambda frame, order, **options: through_functions(frame, order=order, **options),
    "indicators": lambda frame, order, **options: tc.indicators(frame, order=order, **options),
    "accessor": lambda frame, order, **options: through_accessor(frame, order=order, **options),
    "stream": through_stream,
}


@pytest.mark.parametrize("entry, missing, warmup, order",
                         list(itertools.product(ENTRY_POINTS, ("error", "previous", "nan"), ("values", "nan", 7),
                                                ("oldest-first", "newest-first"))))
def test_every_policy_through_every_entry_point(entry, missing, warmup, order):
    frame = priced_frame()
    caller = frame.iloc[::-1] if order == "newest-first" else frame
    compute = ENTRY_POINTS[entry]
    if missing == "error":
        with pytest.raises(tc.MissingPriceError) as refusal:
            compute(caller, order, missing=missing, warmup=warmup)
        message = str(refusal.value)
        # Names the column, the bar (by its index label, except a stream's bar number) and the ways out.
        assert "High" in message or "high" in message
        assert ("2021-05-25" in message) if entry != "stream" else ("bar 62" in message)
        assert "previous" in message and "nan" in message
        return
    result = compute(caller, order, missing=missing, warmup=warmup)
    want = expected(frame, missing, warmup)
    if order == "newest-first":
        want = want.iloc[::-1]
    assert list(result.columns) == list(tc.COLUMNS)
    assert result.index.equals(caller.index)
    for column in tc.COLUMNS:
        assert_same_bits(result[column], want[column], f"{entry} {missing} {warmup} {order} {column}")


@pytest.mark.parametrize("entry", ENTRY_POINTS)
def test_a_gap_on_the_first_bar_has_no_previous_bar_to_repeat(entry):
    frame = priced_frame(gap=0)
    with pytest.raises(tc.MissingPriceError, match="first bar"):
        ENTRY_POINTS[entry](frame, "oldest-first", missing="previous")
    # Newest first, the first bar in time is the last row.
    with pytest.raises(tc.MissingPriceError, match="first bar"):
        ENTRY_POINTS[entry](frame.iloc[::-1], "newest-first", missing="previous")


def test_infinite_and_out_of_range_prices_are_refused_unless_passed_through():
    high, low = random_walk(2, 60)
    for bad in (np.inf, -np.inf, 1e39):
        spoiled = high.copy()
        spoiled[30] = bad
        for missing in ("error", "previous"):
            with pytest.raises(tc.MissingPriceError, match="infinite price|beyond the range of a 32-bit float"):
                tc.trend_vigor(spoiled, low, missing=missing)
        assert_same_bits(tc.trend_vigor(spoiled, low, missing="nan"), all_indicators(spoiled, low).trend_vigor, "inf")
    with tc.Stream() as stream, pytest.raises(tc.MissingPriceError, match="beyond the range"):
        stream.push(1e39, 1.0)


def test_two_series_are_paired_by_label_or_refused():
    frame = priced_frame(gap=None)
    shuffled_low = frame["Low"].sample(frac=1.0, random_state=5)
    assert_same_bits(tc.trend_vigor(frame["High"], shuffled_low), tc.trend_vigor(frame), "aligned by label")
    for low in (frame["Low"].iloc[1:], frame["Low"].reset_index(drop=True), frame["Low"].iloc[[0] * BARS]):
        with pytest.raises(ValueError, match="different indexes"):
            tc.indicators(frame["High"], low)
    # A Series beside a plain array: paired by position, the Series' index kept.
    result = tc.swing_position(frame["High"].to_numpy(), frame["Low"])
    assert result.index.equals(frame.index) and result.name == "swing_position"


@pytest.mark.parametrize("index, order, message", [
    (lambda i: i[::-1], "oldest-first", "order='newest-first'"),
    (lambda i: i, "newest-first", "runs oldest first"),
    (lambda i: i[np.r_[0:90, 100:110, 90:100, 110:BARS]], "oldest-first", r"sort it with \.sort_index\(\)"),
    (lambda i: i[np.r_[0:90, 89:BARS - 1]], "oldest-first", "repeats 2021-07-02"),
    (lambda i: i.insert(5, pd.NaT)[:BARS], "oldest-first", "NaT"),
])
def test_a_time_index_must_agree_with_the_order(index, order, message):
    frame = priced_frame(gap=None)
    frame.index = index(frame.index)
    for call in (lambda: tc.indicators(frame, order=order), lambda: tc.cycle_period(frame.High, frame.Low, order=order),
                 lambda: frame.tamsel.trend_vigor(order=order)):
        with pytest.raises(ValueError, match=message):
            call()


@pytest.mark.parametrize("options, error, message", [
    ({"missing": "drop"}, ValueError, "missing must be"),
    ({"order": "descending"}, ValueError, "order must be"),
    ({"warmup": "skip"}, ValueError, "warmup must be"),
    ({"warmup": -1}, ValueError, "at least 0"),
    ({"warmup": True}, TypeError, "warmup must be"),
    ({"warmup": 2.5}, TypeError, "warmup must be"),
])
def test_bad_options_are_refused_everywhere(options, error, message):
    frame = priced_frame(gap=None)
    for call in (lambda: tc.indicators(frame, **options), lambda: tc.trend_vigor(frame, **options),
                 lambda: frame.tamsel.indicators(**options), lambda: tc.indicators([], [], **options)):
        with pytest.raises(error, match=message):
            call()
    if "order" not in options:
        with pytest.raises(error, match=message):
            tc.Stream(**options)


def test_plain_arrays_keep_their_shape_and_newest_first_reverses_by_position():
    frame = priced_frame(gap=None)
    high, low = frame["High"].to_numpy(), frame["Low"].to_numpy()
    single = tc.trend_vigor(high, low)
    assert isinstance(single, np.ndarray) and single.dtype == np.float32
    reverse = tc.indicators(high[::-1], low[::-1], order="newest-first")
    assert isinstance(reverse, tc.Indicators)
    assert_same_bits(reverse.trend_vigor[::-1], single, "newest-first arrays")
    with pytest.raises(ValueError, match="already has the columns"):
        frame.assign(trend_vigor=1.0).tamsel.indicators(append=True)
