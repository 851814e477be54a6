# SPDX-License-Identifier: MIT
"""polars, Arrow, DuckDB and pandas' Arrow-backed columns: the same bits as
the numpy entry point, per symbol and in time order, without copies where
the prices are float32 already."""

import numpy as np
import pandas as pd
import pytest
from conftest import assert_same_bits, random_walk

import tamselcharts as tc


def symbols_frame(count=3):
    """Rows of several symbols interleaved and shuffled: only the date
    column tells each symbol's order."""
    frames = []
    for number in range(count):
        bars = 120 + 30 * number
        high, low = random_walk(300 + number, bars)
        frames.append(pd.DataFrame({"symbol": f"S{number}", "date": pd.date_range("2022-01-03", periods=bars),
                                    "high": high.astype(np.float32), "low": low.astype(np.float32)}))
    return pd.concat(frames, ignore_index=True).sample(frac=1.0, random_state=5).reset_index(drop=True)


def expected_by_symbol(rows):
    return {symbol: tc.indicators(alone.sort_values("date").set_index("date"))
            for symbol, alone in rows.groupby("symbol")}


def check_by_symbol(result, expected, what):
    for symbol, want in expected.items():
        got = result[result["symbol"] == symbol].sort_values("date")
        for column in tc.COLUMNS:
            assert_same_bits(got[column].to_numpy(), want[column].to_numpy(), f"{what} {symbol} {column}")


def test_polars_expressions_per_symbol_in_time_order():
    pl = pytest.importorskip("polars")
    import tamselcharts.polars as tcp

    rows = symbols_frame()
    bars = pl.from_pandas(rows)
    expected = expected_by_symbol(rows)
    over = bars.with_columns(tcp.cycle_period(order_by="date").over("symbol"),
                             tcp.signal_to_noise_ratio(order_by="date").over("symbol"),
                             tcp.swing_position(order_by="date").over("symbol"),
                             tcp.trend_vigor(pl.col("high"), pl.col("low"), order_by="date").over("symbol"))
    assert over.schema["trend_vigor"] == pl.Float32 and over.height == bars.height
    check_by_symbol(over.to_pandas(), expected, "over")
    grouped = bars.group_by("symbol").map_groups(
        lambda group: group.sort("date").with_columns(tcp.all_indicators()).unnest("indicators"))
    check_by_symbol(grouped.to_pandas(), expected, "map_groups")
    lazy = tcp.indicators(bars.lazy(), by="symbol", order_by="date", warmup="nan")
    assert isinstance(lazy, pl.LazyFrame)
    collected = lazy.collect()
    assert collected.columns == [*bars.columns, *tc.COLUMNS]
    first = collected.filter(pl.col("symbol") == "S0").sort("date")
    assert first["swing_position"][: tc.WARMUP["swing_position"]].is_nan().all()

    with pytest.raises(ValueError, match="repeats"):
        bars.with_columns(tcp.trend_vigor(order_by="symbol"))
    # A NaN time (not null) was once sorted last, its bar computed as the newest.
    stamped = bars.with_columns(t=pl.int_range(pl.len()).cast(pl.Float64))
    with pytest.raises(ValueError, match="the time column 't' holds NaN"):
        stamped.with_columns(t=pl.when(pl.col("t") == 5).then(float("nan")).otherwise(pl.col("t"))).with_columns(
            tcp.trend_vigor(order_by="t"))
    with pytest.raises(ValueError, match="missing must be one of"):
        tcp.trend_vigor(missing="skip")
    with pytest.raises(ValueError, match="already has the columns"):
        tcp.indicators(collected)
    with pytest.raises(TypeError, match="polars DataFrame"):
        tcp.indicators(rows)


def test_a_polars_frame_read_from_a_header_naming_the_high_twice_is_refused(tmp_path):
    pl = pytest.importorskip("polars")
    import tamselcharts.polars as tcp

    path = tmp_path / "twice.csv"
    path.write_text("High,Low,High\n2,1,3\n3,2,4\n")
    with pytest.raises(ValueError, match=r"'High' looks repeated: \['High_duplicated_0'\]"):
        tcp.indicators(pl.read_csv(path))


def test_a_polars_null_is_a_missing_price_named_by_its_time():
    pl = pytest.importorskip("polars")
    import tamselcharts.polars as tcp

    high, low = random_walk(8, 80)
    bars = pl.DataFrame({"day": pd.date_range("2021-01-01", periods=80), "High": high, "Low": low})
    gapped = bars.with_columns(pl.when(pl.int_range(pl.len()) == 30).then(None).otherwise(pl.col("High"))
                               .alias("High"))
    with pytest.raises(tc.MissingPriceError, match=r"'High': row 30 of the series \(day 2021-01-31.*missing='previous'"):
        tcp.indicators(gapped, order_by="day")
    filled = tcp.indicators(gapped, order_by="day", missing="previous")
    want = tc.indicators(gapped.to_pandas().ffill().set_index("day"))
    for column in tc.COLUMNS:
        assert_same_bits(filled[column].to_numpy(), want[column], column)


def test_arrow_in_and_out_without_copies_of_contiguous_float32():
    pa = pytest.importorskip("pyarrow")
    import tamselcharts._core as core
    import tamselcharts.arrow as tca

    high, low = (price.astype(np.float32) for price in random_walk(9, 500))
    want = tc.indicators(high, low)
    arrays = pa.array(high), pa.array(low)
    seen = []
    real = core.compute

    def spy(high_in, low_in, columns):
        seen.append((high_in.ctypes.data, low_in.ctypes.data))
        return real(high_in, low_in, columns)

    with pytest.MonkeyPatch.context() as patch:
        patch.setattr("tamselcharts._columnar.compute", spy)
        table = tca.indicators(pa.table({"High": arrays[0], "Low": arrays[1]}))
    assert seen == [(arrays[0].buffers()[1].address, arrays[1].buffers()[1].address)]
    assert table.column_names == list(tc.COLUMNS) and table.schema.field("trend_vigor").type == pa.float32()
    for column in tc.COLUMNS:
        assert_same_bits(table[column].to_numpy(), getattr(want, column), column)
    # Several chunks, doubles, a sliced array: the same bits.
    chunked = pa.chunked_array([high[:200].astype(np.float64), high[200:].astype(np.float64)])
    assert_same_bits(tca.trend_vigor(chunked, pa.array(low)).to_numpy(), want.trend_vigor, "chunked")
    offset = pa.array(np.concatenate([[1.0], high]).astype(np.float32)).slice(1)
    assert_same_bits(tca.cycle_period(offset, arrays[1]).to_numpy(), want.cycle_period, "sliced")
    with pytest.raises(TypeError, match="must hold numbers"):
        tca.indicators(pa.table({"high": ["1"], "low": ["0"]}))
    # A float32 NaN goes the way of the policy, as any other missing price.
    gapped = high.copy()
    gapped[7] = np.nan
    with pytest.raises(tc.MissingPriceError, match=r"column 'high': row 7 \(0-based\): missing price"):
        tca.indicators(pa.table({"high": gapped, "low": low}))
    assert_same_bits(tca.trend_vigor(pa.array(gapped), arrays[1], missing="nan").to_numpy(),
                     tc.trend_vigor(gapped, low, missing="nan"), "nan")
    # A name standing twice is refused, not read as its first column.
    twice = pa.Table.from_arrays([arrays[0], arrays[1], arrays[1]], names=["High", "Low", "Low"])
    with pytest.raises(ValueError, match="the low column 'Low' stands 2 times"):
        tca.indicators(twice)


def test_duckdb_bars_in_and_the_indicators_back_into_duckdb():
    duckdb = pytest.importorskip("duckdb")
    pa = pytest.importorskip("pyarrow")
    import tamselcharts.arrow as tca

    rows = symbols_frame(2)
    con = duckdb.connect()
    con.register("bars", rows)
    ordered = con.sql("select date, high, low from bars where symbol = 'S1' order by date").arrow()
    values = tca.indicators(ordered)
    result = pa.table({"day": rows[rows.symbol == "S1"].sort_values("date")["date"], **{
        column: values[column] for column in tc.COLUMNS}})
    back = con.sql("select count(*), max(trend_vigor) from result").fetchall()[0]
    want = expected_by_symbol(rows)["S1"]
    assert back[0] == len(want) and np.float32(back[1]) == want["trend_vigor"].max()


def test_pandas_arrow_backed_columns_time_zones_and_copy_on_write():
    pytest.importorskip("pyarrow")
    if int(pd.__version__.split(".")[0]) < 2:
        pytest.skip("Arrow-backed columns need pandas 2 or later")
    high, low = random_walk(12, 300)
    plain = pd.DataFrame({"High": high, "Low": low}, index=pd.date_range("2023-03-01", periods=300, freq="h",
                                                                          tz="America/New_York"))
    want = tc.indicators(plain)
    for dtype in ("float32[pyarrow]", "double[pyarrow]"):
        arrow = plain.astype(dtype)
        arrow.index = pd.Index(plain.index.astype("timestamp[ns, tz=America/New_York][pyarrow]"))
        # Rounded to float32 as the library takes them either way.
        got = tc.indicators(arrow)
        assert got.index.equals(arrow.index)
        for column in tc.COLUMNS:
            assert_same_bits(got[column], want[column], f"{dtype} {column}")
        with pytest.raises(ValueError, match="timestamp Index is not in time order"):
            tc.indicators(arrow.iloc[[1, 0, *range(2, 300)]])
    before = plain.copy()
    appended = plain.tamsel.indicators(append=True)
    assert appended is not plain and list(plain.columns) == ["High", "Low"]
    pd.testing.assert_frame_equal(plain, before)
    appended.iloc[0, 0] = -1.0  # the new frame shares nothing the caller sees
    pd.testing.assert_frame_equal(plain, before)
