# SPDX-License-Identifier: MIT
"""Every policy through every entry point, against the library's plain output
on prices prepared by hand; and the refusals that protect the caller."""

import importlib.util
import itertools

import numpy as np
import pandas as pd
import pytest
from conftest import REPO, assert_same_bits, random_walk

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


# The policy table every front end reads: the package must give the listed
# outcome for each case through arrays, a DataFrame and a stream.
CASES_FILE = REPO / "tests" / "data" / "missing_policy_cases.txt"


def policy_cases():
    cases = []
    for number, line in enumerate(CASES_FILE.read_text().splitlines(), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        policy, highs, lows, outcome = (part.strip() for part in line.split("|"))
        cases.append(pytest.param(policy, [float(p) for p in highs.split()], [float(p) for p in lows.split()],
                                  outcome.split(), id=f"line{number}"))
    return cases


KIND_WORDS = {"missing": "missing price", "infinite": "infinite price", "out-of-range": "beyond the range",
              "no-previous": "first bar"}


def columnar_runs(policy, highs, lows, labels):
    """The case through the column stores the package takes, each with its
    own missing value where the case has NaN: pandas' nullable Float64 and
    Arrow-backed columns (pd.NA), polars (null, bars ordered by a shuffled
    date column) and Arrow (null)."""
    runs = {}
    if int(pd.__version__.split(".")[0]) >= 2:
        for dtype in ("Float64", "double[pyarrow]"):
            if dtype.endswith("[pyarrow]") and importlib.util.find_spec("pyarrow") is None:
                continue
            nullable = pd.DataFrame({"High": pd.array(highs, dtype=dtype), "Low": pd.array(lows, dtype=dtype)},
                                    index=labels)
            assert nullable["High"].isna().sum() == sum(np.isnan(highs))
            runs[f"frame {dtype}"] = lambda nullable=nullable: tc.indicators(nullable, missing=policy)
    if importlib.util.find_spec("polars") is not None:
        import polars as pl

        import tamselcharts.polars as tcp

        bars = pl.DataFrame({"date": pl.Series(labels.to_numpy()), "high": pl.Series(highs).fill_nan(None),
                             "low": pl.Series(lows).fill_nan(None)})
        assert bars["high"].null_count() == sum(np.isnan(highs))
        shuffled = bars.reverse()

        def through_polars():
            result = shuffled.with_columns(tcp.all_indicators(order_by="date", missing=policy)).unnest("indicators")
            return result.sort("date")

        runs["polars"] = through_polars
    if importlib.util.find_spec("pyarrow") is not None:
        import pyarrow as pa

        import tamselcharts.arrow as tca

        table = pa.table({"high": pa.array(highs, from_pandas=True), "low": pa.array(lows, from_pandas=True)})
        assert table["high"].null_count == sum(np.isnan(highs))
        runs["arrow"] = lambda: tca.indicators(table, missing=policy)
    return runs


def case_outcome(call):
    try:
        return "ok", call()
    except tc.MissingPriceError as error:
        return "refused", str(error)


@pytest.mark.parametrize("policy, highs, lows, outcome", policy_cases())
def test_the_shared_policy_cases(policy, highs, lows, outcome):
    labels = pd.date_range("2024-01-01", periods=len(highs), freq="D")
    frame = pd.DataFrame({"High": highs, "Low": lows}, index=labels)
    padded = max(len(highs), 1)

    def streamed():
        with tc.Stream(missing=policy) as stream:
            return [stream.push(high, low) for high, low in zip(highs, lows)]

    runs = {"arrays": lambda: tc.indicators(np.array(highs), np.array(lows), missing=policy),
            "lists": lambda: tc.trend_vigor(highs, lows, missing=policy),
            "frame": lambda: tc.indicators(frame, missing=policy),
            "stream": streamed}
    runs.update(columnar_runs(policy, highs, lows, labels))
    for how, run in runs.items():
        result, detail = case_outcome(run)
        if how in ("polars", "arrow") and result == "ok":
            detail = tc.Indicators(*(np.asarray(detail[column].to_numpy()) for column in tc.COLUMNS))
        if how.startswith("frame") and result == "ok":
            detail = tc.Indicators(*(detail[column].to_numpy() for column in tc.COLUMNS))
        if outcome[0] == "ok":
            assert result == "ok", f"{how}: {detail}"
            slash = outcome.index("/")
            want_high = np.array(outcome[1:slash], dtype=np.float64).astype(np.float32)
            want_low = np.array(outcome[slash + 1:], dtype=np.float64).astype(np.float32)
            with np.errstate(over="ignore"):
                plain = all_indicators(want_high, want_low)
            got = detail if how != "stream" else tc.Indicators(*np.array(detail, dtype=np.float32).T)
            if how == "lists":
                assert_same_bits(got, plain.trend_vigor, f"{how}")
                continue
            for column in tc.COLUMNS:
                assert_same_bits(getattr(got, column), getattr(plain, column), f"{how} {column}")
        else:
            kind, column, bar = outcome[0], outcome[1], int(outcome[2])
            assert result == "refused", f"{how} accepted a price the policy refuses"
            assert KIND_WORDS[kind] in detail, f"{how}: {detail}"
            if how == "stream":
                assert f"{column} of bar {bar}" in detail
            elif how.startswith("frame"):
                assert f"'{column.capitalize()}'" in detail and f"(row {bar - 1})" in detail
                assert str(labels[bar - 1].date()) in detail
            elif how == "polars":
                # The row of the frame as given: newest first.
                assert f"'{column}'" in detail and f"row {len(highs) - bar} of the series" in detail
                assert f"date {labels[bar - 1].date()}" in detail
            elif how == "arrow":
                assert f"'{column}'" in detail and f"row {bar - 1} (0-based)" in detail
            else:
                assert f"'{column}'" in detail and f"bar {bar - 1} (0-based)" in detail
    assert padded >= 1


def test_a_newest_first_frame_names_the_callers_row_of_a_refused_price():
    frame = priced_frame(gap=None)
    frame.iloc[20, 2] = np.nan  # row 20 of the oldest-first frame, Low
    newest = frame.iloc[::-1]
    with pytest.raises(tc.MissingPriceError, match=rf"'Low': index {frame.index[20].date()} \(row {BARS - 1 - 20}\)"):
        tc.indicators(newest, order="newest-first")


@pytest.mark.parametrize("policy", ["error", "previous", "nan"])
def test_masked_values_are_missing_prices(policy):
    high, low = random_walk(9, 120)
    high[40] = -999.0
    masked = np.ma.masked_equal(high, -999.0)
    with_nan = high.copy()
    with_nan[40] = np.nan
    if policy == "error":
        with pytest.raises(tc.MissingPriceError, match="bar 40"):
            tc.trend_vigor(masked, low, missing=policy)
    else:
        assert_same_bits(tc.trend_vigor(masked, low, missing=policy), tc.trend_vigor(with_nan, low, missing=policy),
                         "masked")
    with tc.Stream(missing="nan") as stream:
        assert np.isnan(stream.push(np.ma.masked, 1.0).swing_position)


@pytest.mark.parametrize("policy", ["error", "previous", "nan"])
@pytest.mark.parametrize("gap", [None, pd.NA, pd.NaT, np.nan])
def test_none_na_and_nat_are_missing_prices_everywhere(policy, gap):
    high, low = random_walk(12, 40)
    with_gap = list(high)
    with_gap[10] = gap
    with_nan = high.copy()
    with_nan[10] = np.nan
    with tc.Stream(missing=policy) as stream:
        for i in range(10):
            stream.push(high[i], low[i])
        if policy == "error":
            with pytest.raises(tc.MissingPriceError, match="high of bar 11: missing price"):
                stream.push(gap, low[10])
            with pytest.raises(tc.MissingPriceError, match="missing price"):
                tc.trend_vigor(np.array(with_gap, dtype=object), low)
            return
        pushed = stream.push(gap, low[10])
    batch = tc.indicators(with_nan, low, missing=policy)
    assert_same_bits(list(pushed), [getattr(batch, column)[10] for column in tc.COLUMNS], "pushed")
    assert_same_bits(tc.trend_vigor(np.array(with_gap, dtype=object), low, missing=policy), batch.trend_vigor, "gap")


@pytest.mark.parametrize("prices", [
    pd.Series(["1", "2", "3"]),
    pd.Series(["1_000", "2", "3"], dtype=object),
    pd.Series(["1", "2", "3"], dtype="string"),
    pd.Series([1.0, 2.0, 3.0], dtype="category"),
    pd.Series([True, False, True], dtype="boolean"),
    np.array([True, False, True]),
    np.array([1.0, True, 3.0], dtype=object),
], ids=["object-text", "underscore", "string", "category", "boolean", "numpy-bool", "object-bool"])
def test_text_categories_and_truth_values_are_no_prices(prices):
    frame = pd.DataFrame({"High": prices, "Low": [1.0, 1.0, 1.0]})
    with pytest.raises(TypeError, match="column 'High' must hold numbers"):
        tc.indicators(frame)
    with pytest.raises(TypeError, match="high must hold numbers"):
        tc.trend_vigor(prices, [1.0, 1.0, 1.0])
    elements = [value for value in list(prices) if isinstance(value, (str, bool, np.bool_))]
    for element in elements:  # the categories' values are numbers; the others are not
        with pytest.raises(TypeError, match="must be a number|must hold numbers"):
            tc.Stream().push(element, 1.0)


def test_an_integer_too_large_for_any_float_is_an_out_of_range_price():
    with pytest.raises(tc.MissingPriceError, match=r"'high': bar 1 \(0-based\): price beyond the range"):
        tc.trend_vigor([1, 10**400, 3], [1, 1, 1])
    for missing in ("error", "previous"):
        with tc.Stream(missing=missing) as stream, pytest.raises(tc.MissingPriceError, match="high of bar 1: price beyond"):
            stream.push(-(10**400), 1)
    # Passed as it is, it is an infinity of its sign.
    assert_same_bits(tc.trend_vigor([1, 10**400, 3], [1, 1, 1], missing="nan"),
                     tc.trend_vigor([1, np.inf, 3], [1, 1, 1], missing="nan"), "huge integer")


def two_symbols():
    first, second = priced_frame(gap=None), priced_frame(gap=None) * 2
    return pd.concat({"A": first, "B": second}, names=["symbol", "Date"]), first, second


def test_a_multiindex_needs_by_and_then_computes_each_symbol_alone():
    frame, first, second = two_symbols()
    with pytest.raises(ValueError, match="by=<level name>"):
        tc.indicators(frame)
    shuffled = frame.sample(frac=1.0, random_state=3).sort_index(level="Date", sort_remaining=False)
    for caller in (frame, shuffled.sort_index()):
        result = tc.indicators(caller, by="symbol")
        assert result.index.equals(caller.index)
        for symbol, alone in (("A", first), ("B", second)):
            assert_same_bits(result.xs(symbol)["trend_vigor"], tc.trend_vigor(alone), symbol)
    # Rows of the two symbols interleaved: each still in time order.
    interleaved = frame.sort_index(level="Date", sort_remaining=True)
    result = tc.trend_vigor(interleaved, by="symbol")
    assert result.index.equals(interleaved.index)
    assert_same_bits(result.xs("B", level="symbol"), tc.trend_vigor(second), "interleaved B")
    # A symbol column does the same without a MultiIndex; a bar out of order is named with its symbol.
    long = frame.reset_index(level="symbol")
    assert_same_bits(tc.indicators(long, by="symbol")["cycle_period"], tc.indicators(frame, by="symbol")["cycle_period"],
                     "column")
    with pytest.raises(ValueError, match="symbol='A'.*not in time order"):
        tc.indicators(long.iloc[[1, 0, *range(2, len(long))]], by="symbol")
    with pytest.raises(ValueError, match="names no index level"):
        tc.indicators(frame, by="ticker")


def test_many_symbols_go_through_one_call_and_each_gets_its_own_values():
    # Symbols of different lengths (one of a single bar) and scales, rows
    # interleaved by date: what a many-series call packs side by side must
    # equal each symbol alone, on any number of threads, and a gap is
    # filled within its own symbol.
    lengths = {"A": 300, "B": 1, "C": 1200, "D": 57, "E": 300}
    pieces = []
    for n, (symbol, length) in enumerate(lengths.items()):
        high, low = random_walk(40 + n, length, level=10.0 ** n)
        dates = pd.date_range("2020-01-01", periods=length, freq="D")
        pieces.append(pd.DataFrame({"symbol": symbol, "date": dates, "high": high, "low": low}))
    long = pd.concat(pieces).sort_values(["date", "symbol"], kind="mergesort").reset_index(drop=True)
    long.loc[long.index[long["symbol"] == "C"][7], "high"] = np.nan
    alone = {symbol: tc.indicators(rows.reset_index(drop=True), missing="previous", time_column="date")
             for symbol, rows in long.groupby("symbol", sort=False)}
    for threads in (1, 2, 3, None):
        result = tc.indicators(long, by="symbol", missing="previous", threads=threads)
        assert result.index.equals(long.index)
        for symbol, want in alone.items():
            got = result[long["symbol"] == symbol].reset_index(drop=True)
            for column in want.columns:
                assert_same_bits(got[column], want[column], f"{symbol} {column} threads={threads}")
    # Rows without a symbol are one series of their own, not rows left without values.
    unnamed = long.assign(symbol=long["symbol"].where(long["symbol"] != "D", None))
    got = tc.indicators(unnamed, by="symbol", missing="previous")[unnamed["symbol"].isna()].reset_index(drop=True)
    for column in alone["D"].columns:
        assert_same_bits(got[column], alone["D"][column], f"no symbol {column}")
    # Several keys: each combination is a series, so one symbol on two venues is two series.
    scaled = long.assign(venue="Y", high=long["high"] * 3, low=long["low"] * 3)
    venues = pd.concat([long.assign(venue="X"), scaled], ignore_index=True)
    result = tc.indicators(venues, by=["venue", "symbol"], missing="previous")
    for venue in ("X", "Y"):
        for symbol in ("A", "C"):
            rows = venues[(venues["venue"] == venue) & (venues["symbol"] == symbol)]
            want = tc.indicators(rows.reset_index(drop=True), missing="previous", time_column="date")
            assert_same_bits(result.loc[rows.index, "trend_vigor"].reset_index(drop=True), want["trend_vigor"],
                             f"{venue} {symbol}")
    assert_same_bits(tc.indicators(long, by=["symbol"], missing="previous")["cycle_period"],
                     tc.indicators(long, by="symbol", missing="previous")["cycle_period"], "a list of one key")
    with pytest.raises(ValueError, match="names no key"):
        tc.indicators(long, by=[])
    with pytest.raises(ValueError, match="by='ticker' names no index level"):
        tc.indicators(long, by=["symbol", "ticker"])
    assert_same_bits(tc.swing_position(long, by="symbol", missing="previous", threads=2),
                     tc.indicators(long, by="symbol", missing="previous")["swing_position"], "one column")
    with pytest.raises(tc.MissingPriceError, match="symbol='C': column 'high': index 30 \\(row 30\\): missing price"):
        tc.indicators(long, by="symbol")
    for bad in (0, -1, 1.5, "2", True):
        with pytest.raises(ValueError, match="threads must be a positive integer"):
            tc.indicators(long, by="symbol", threads=bad)


@pytest.mark.parametrize("layout", ["by date", "by symbol", "interleaved", "dates in the index"])
def test_every_layout_of_a_long_frame_gives_each_symbol_its_own_values(layout):
    # Each layout takes its own way of gathering the symbols' rows (one row
    # per symbol in turn, rows already grouped, a sort); a price that is no
    # float, or a symbol out of time order, sends every symbol through its
    # own checks.
    lengths = [240, 240, 240] if layout in ("by date", "dates in the index") else [240, 1, 97]
    pieces = []
    for n, (symbol, length) in enumerate(zip(["Q", "P", "R"], lengths)):
        high, low = random_walk(70 + n, length, level=10.0 ** (2 * n - 1))
        pieces.append(pd.DataFrame({"symbol": symbol, "date": pd.date_range("2022-01-03", periods=length, freq="B"),
                                    "high": high, "low": low}))
    long = pd.concat(pieces, ignore_index=True)
    if layout in ("by date", "interleaved", "dates in the index"):
        long = long.sort_values(["date"], kind="mergesort").reset_index(drop=True)
    if layout == "dates in the index":
        long = long.set_index("date")
    alone = {symbol: tc.indicators(rows.reset_index(drop=True), time_column="date")
             for symbol, rows in pd.concat(pieces).groupby("symbol", sort=False)}

    def check(frame, what, **options):
        result = tc.indicators(frame, by="symbol", **options)
        assert result.index.equals(frame.index)
        for symbol, want in alone.items():
            got = result[(frame["symbol"] == symbol).to_numpy()].reset_index(drop=True)
            for column in want.columns:
                assert_same_bits(got[column], want[column], f"{layout}, {what}: {symbol} {column}")

    check(long, "plain")
    check(long, "threads", threads=2, missing="previous")
    # A symbol that is missing (None, NaN, pd.NA) is a series of its own all the same.
    for gap in (None, np.nan, pd.NA):
        unnamed = long.assign(symbol=long["symbol"].astype(object).where(long["symbol"] != "P", gap))
        got = tc.indicators(unnamed, by="symbol")[(long["symbol"] == "P").to_numpy()].reset_index(drop=True)
        assert_same_bits(got, alone["P"], f"{layout}: P as {gap!r}")
    if layout != "by symbol":
        # Two symbols' rows of one date swapped, deep inside: one row per symbol in turn no longer.
        bar = 90 if lengths[1] > 90 else 0
        q, p = (np.flatnonzero((long["symbol"] == symbol).to_numpy())[bar] for symbol in ("Q", "P"))
        order = np.arange(len(long))
        order[[q, p]] = order[[p, q]]
        check(long.iloc[order], "swapped within a date")
    if layout == "by date":
        # A symbol twice in every turn is two bars at each time, not two series.
        doubled = pd.concat([long, long[long["symbol"] == "P"]]).sort_values("date", kind="mergesort")
        with pytest.raises(ValueError, match="symbol='P': .*repeats"):
            tc.indicators(doubled, by="symbol")
    # Keys that are equal without being the same objects, or of mixed kinds.
    renamed = long.assign(symbol=[str(symbol) + "" if i % 2 else "".join(symbol) for i, symbol in
                                  enumerate(long["symbol"])])
    check(renamed, "equal keys")
    numbered = long.assign(symbol=long["symbol"].map({"Q": 1, "P": 2.5, "R": "3"}))
    result = tc.indicators(numbered, by="symbol")
    assert_same_bits(result[(long["symbol"] == "R").to_numpy()].reset_index(drop=True), alone["R"], f"{layout}: '3'")
    # A price beyond float range: "nan" passes it on as infinity, in its own symbol only.
    beyond = long.copy()
    row = int(np.flatnonzero((beyond["symbol"] == "R").to_numpy())[-1])
    beyond.iloc[row, beyond.columns.get_loc("high")] = 1e300
    with pytest.raises(tc.MissingPriceError, match="symbol='R': column 'high'.*beyond"):
        tc.indicators(beyond, by="symbol")
    spoiled = tc.indicators(beyond, by="symbol", missing="nan")
    r_rows = (beyond["symbol"] == "R").to_numpy()
    r_alone = beyond[r_rows].reset_index()
    r_alone = r_alone.assign(high=r_alone["high"].where(r_alone.index != len(r_alone) - 1, np.inf))
    assert_same_bits(spoiled[r_rows]["trend_vigor"], tc.trend_vigor(r_alone, time_column="date", missing="nan"),
                     f"{layout}: R")
    assert_same_bits(spoiled[~r_rows], tc.indicators(long, by="symbol")[~r_rows], f"{layout}: others")
    # Two bars of one symbol swapped in time.
    rows = np.flatnonzero((long["symbol"] == "Q").to_numpy())[[3, 4]]
    order = np.arange(len(long))
    order[rows] = order[rows[::-1]]
    swapped = long.iloc[order]
    if layout == "dates in the index":
        swapped = swapped.set_axis(long.index)
        swapped["date"] = long.index[order]
        swapped = swapped.set_index("date")
    with pytest.raises(ValueError, match="symbol='Q': .*not in time order"):
        tc.indicators(swapped, by="symbol")


def test_wide_frames_compute_each_symbol_from_its_first_priced_row_to_its_last():
    dates = pd.date_range("2021-01-01", periods=400, freq="D")
    highs, lows = {}, {}
    for n, symbol in enumerate(["AAA", "BBB", "CCC"]):
        high, low = random_walk(70 + n, 400, level=50.0 * (n + 1))
        highs[symbol], lows[symbol] = high, low
    high, low = pd.DataFrame(highs, index=dates), pd.DataFrame(lows, index=dates)
    high.iloc[:120, 1] = low.iloc[:120, 1] = np.nan  # BBB listed on the 121st day
    high.iloc[350:, 2] = low.iloc[350:, 2] = np.nan  # CCC gone after the 350th
    high.iloc[200, 0] = np.nan  # a gap in AAA's highs only
    spans = {"AAA": slice(0, 400), "BBB": slice(120, 400), "CCC": slice(0, 350)}
    result = tc.indicators(high, low, missing="previous", threads=2)
    assert list(result.columns.get_level_values(0).unique()) == list(tc.COLUMNS)
    assert result.index.equals(dates)
    for symbol, span in spans.items():
        alone = tc.indicators(high[symbol].iloc[span], low[symbol].iloc[span], missing="previous")
        for column in tc.COLUMNS:
            got = result[column][symbol]
            assert_same_bits(got.iloc[span], alone[column], f"{symbol} {column}")
            assert got.drop(got.index[span]).isna().all(), f"{symbol} {column} outside its rows"
    assert_same_bits(tc.swing_position(high, low, missing="previous")["CCC"], result["swing_position"]["CCC"], "one")
    # Newest first: the same values, in the caller's order.
    backwards = tc.indicators(high.iloc[::-1], low.iloc[::-1], missing="previous", order="newest-first")
    assert_same_bits(backwards["trend_vigor"]["BBB"].iloc[::-1], result["trend_vigor"]["BBB"], "newest first")
    with pytest.raises(tc.MissingPriceError, match=r"column 'AAA' of the high frame: index 2021-07-20 \(row 200\)"):
        tc.indicators(high, low)
    with pytest.raises(ValueError, match="different indexes"):
        tc.indicators(high, low.iloc[1:])
    with pytest.raises(ValueError, match="same symbols"):
        tc.indicators(high, low.rename(columns={"AAA": "ZZZ"}))
    with pytest.raises(ValueError, match="every column is a symbol"):
        tc.indicators(high, low, by="symbol")
    with pytest.raises(TypeError, match="DataFrame of lows"):
        tc.indicators(high, low["AAA"])


@pytest.mark.parametrize("dtype", [np.uint64, np.uint32, np.int64, np.float64])
def test_numbers_in_a_time_column_must_agree_with_the_order(dtype):
    frame = priced_frame(gap=None).reset_index(drop=True)
    # Unsigned times once passed a newest-first column as rising.
    newest = frame.iloc[::-1].assign(t=np.arange(BARS, dtype=dtype)[::-1] + 1).reset_index(drop=True)
    with pytest.raises(ValueError, match="time column 't' runs newest first"):
        tc.indicators(newest, time_column="t")
    assert_same_bits(tc.trend_vigor(newest, order="newest-first", time_column="t"), tc.trend_vigor(frame)[::-1],
                     "newest first")
    if np.dtype(dtype).kind == "f":
        # Once an IndexError from deep inside the check.
        with pytest.raises(ValueError, match="time column 't' holds NaN"):
            tc.indicators(newest.assign(t=newest.t.where(newest.index != 7)), time_column="t", order="newest-first")


def test_a_period_index_and_a_date_column_must_agree_with_the_order():
    frame = priced_frame(gap=None)
    periods = frame.set_axis(frame.index.to_period("D"))
    assert_same_bits(tc.trend_vigor(periods), tc.trend_vigor(frame), "periods")
    with pytest.raises(ValueError, match="PeriodIndex is not in time order"):
        tc.trend_vigor(periods.sample(frac=1.0, random_state=1))
    # As pd.read_csv leaves a newest-first file: the dates in a column, a RangeIndex.
    for dates in (frame.index, frame.index.strftime("%Y-%m-%d")):
        newest = frame.assign(Date=dates).iloc[::-1].reset_index(drop=True)
        with pytest.raises(ValueError, match="time column 'Date' runs newest first"):
            tc.indicators(newest)
        assert_same_bits(tc.trend_vigor(newest, order="newest-first"), tc.trend_vigor(frame)[::-1], "column")
        # The way to take the rows as they are.
        assert_same_bits(tc.trend_vigor(newest, time_column=None), tc.trend_vigor(frame.iloc[::-1].to_numpy()[:, 1],
                                                                                   frame.iloc[::-1].to_numpy()[:, 2]),
                         "unchecked")
    # Dates that read differently day-first and month-first are not taken as an order.
    ambiguous = frame.iloc[:3].assign(Date=["03/02/2021", "02/03/2021", "04/03/2021"]).reset_index(drop=True)
    tc.trend_vigor(ambiguous)
