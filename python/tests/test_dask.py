# SPDX-License-Identifier: MIT
import pandas as pd
import pytest
from conftest import assert_same_bits, random_walk

import tamselcharts as tc

dd = pytest.importorskip("dask.dataframe")
distributed = pytest.importorskip("distributed")


def many_symbols(count):
    frames = []
    for number in range(count):
        bars = 150 + 7 * number
        high, low = random_walk(1000 + number, bars, level=10.0 + number)
        frames.append(pd.DataFrame({"symbol": f"S{number:03d}", "date": pd.date_range("2020-01-01", periods=bars),
                                    "High": high, "Low": low}))
    rows = pd.concat(frames, ignore_index=True)
    # Shuffled rows under a fresh index: only the date column tells the bars' order.
    return rows.sample(frac=1.0, random_state=7).reset_index(drop=True)


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address="127.0.0.1:0") as cluster, distributed.Client(cluster) as client:
        yield client


def test_every_symbol_equals_computing_it_alone(client):
    rows = many_symbols(50)
    ddf = dd.from_pandas(rows, npartitions=6)
    lazy = tc.dask.indicators(ddf, by="symbol", sort="date")
    assert list(lazy.columns) == ["symbol", "date", *tc.COLUMNS]
    result = client.compute(lazy).result()

    assert len(result) == len(rows)
    assert sorted(result.index) == sorted(rows.index)  # the input rows' index, to join back on
    assert result["symbol"].nunique() == 50
    for symbol, alone in rows.groupby("symbol"):
        alone = alone.sort_values("date")
        got = result[result["symbol"] == symbol]
        assert got["date"].is_monotonic_increasing
        assert got.index.equals(alone.index)
        expected = tc.indicators(alone)
        for key in tc.COLUMNS:
            assert_same_bits(got[key], expected[key], f"{symbol} {key}")


def test_index_order_and_argument_errors(client):
    rows = many_symbols(3).sort_values("date").reset_index(drop=True)  # time order by index
    scrambled = rows.sample(frac=1.0, random_state=3)
    result = tc.dask.indicators(dd.from_pandas(scrambled, npartitions=2, sort=False), sort=None).compute()
    for symbol, alone in rows.groupby("symbol"):
        assert_same_bits(result[result["symbol"] == symbol]["swing_position"], tc.swing_position(alone.High, alone.Low),
                         symbol)

    with pytest.raises(ValueError, match="no symbol column"):
        tc.dask.indicators(dd.from_pandas(rows, npartitions=1), by="ticker")
    with pytest.raises(TypeError, match="dask DataFrame"):
        tc.dask.indicators(rows)


def test_missing_and_warmup_policies_apply_per_symbol(client):
    rows = many_symbols(4)
    gap = rows.index[(rows["symbol"] == "S002")][40]
    rows.loc[gap, "High"] = float("nan")
    ddf = dd.from_pandas(rows, npartitions=2)
    with pytest.raises(tc.MissingPriceError, match=r"symbol 'S002'.*missing='previous'"):
        tc.dask.indicators(ddf).compute()
    result = tc.dask.indicators(ddf, missing="previous", warmup="nan").compute()
    for symbol, alone in rows.groupby("symbol"):
        alone = alone.sort_values("date").set_index("date")
        expected = tc.indicators(alone, missing="previous", warmup="nan")
        for key in tc.COLUMNS:
            assert_same_bits(result[result["symbol"] == symbol][key], expected[key], f"{symbol} {key}")
