# SPDX-License-Identifier: MIT
import concurrent.futures
import copy
import gc
import math
import multiprocessing
import os
import pickle
import signal
import threading
import time

import numpy as np
import pytest
from conftest import REPO, assert_same_bits, random_walk

import tamselcharts as tc


@pytest.mark.parametrize("name", ["walk_1.000000", "cycle_20", "nan_at_200", "minus_inf_at_40", "swapped", "short_7"])
def test_pushing_bar_by_bar_equals_the_batch(golden, name):
    table = golden[name]
    with tc.Stream(missing="nan") as stream:
        pushed = np.array([stream.push(high, low) for high, low in table[:, :2]], dtype=np.float32)
        assert stream.bars == len(table)
    assert_same_bits(pushed.reshape(-1, 4), table[:, 2:], name)


def test_peek_clone_and_reset():
    high, low = random_walk(11, 300)
    batch = tc.indicators(high, low)
    stream = tc.Stream()
    for i in range(200):
        stream.push(high[i], low[i])
    # The still-forming bar: several peeks, then the push of the same bar.
    stream.peek(high[200] + 5, low[200] - 5)
    peeked = stream.peek(high[200], low[200])
    assert stream.bars == 200
    assert peeked == stream.push(high[200], low[200])

    twin = stream.clone()
    assert twin.bars == 201
    for i in range(201, 300):
        ours, theirs = stream.push(high[i], low[i]), twin.push(high[i], low[i])
        assert ours == theirs
        assert ours == tc.Values(*(np.float32(getattr(batch, key)[i]) for key in tc.COLUMNS))
    twin.close()

    stream.reset()
    assert stream.bars == 0
    assert stream.push(high[0], low[0]) == tc.Values(*(getattr(batch, key)[0] for key in tc.COLUMNS))
    stream.close()


def test_closing_and_freeing():
    stream = tc.Stream()
    stream.close()
    stream.close()
    assert stream.closed
    for call in (lambda: stream.push(1.0, 0.5), lambda: stream.peek(1.0, 0.5), stream.clone, stream.reset):
        with pytest.raises(ValueError, match="closed"):
            call()
    with tc.Stream() as scoped:
        scoped.push(1.0, 0.5)
    assert scoped.closed

    dropped = tc.Stream()
    finalizer = dropped._finalizer
    del dropped
    gc.collect()
    assert not finalizer.alive  # the C stream was destroyed with its wrapper

    with pytest.raises(TypeError):
        tc.Stream().push("1.0", 0.5)


def test_one_stream_shared_by_threads_stays_consistent():
    # Concurrent pushes take turns: every bar is committed exactly once.
    stream = tc.Stream()
    threads = [threading.Thread(target=lambda: [stream.push(100.0 + i % 7, 99.0) for i in range(500)])
               for _ in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert stream.bars == 2000
    stream.close()


@pytest.mark.parametrize("duplicate", [copy.copy, copy.deepcopy, lambda stream: copy.deepcopy([stream])[0]])
def test_a_copy_is_an_independent_clone(duplicate):
    high, low = random_walk(12, 120)
    stream = tc.Stream(missing="previous", warmup="nan")
    for i in range(60):
        stream.push(high[i], low[i])
    twin = duplicate(stream)
    assert twin is not stream and twin._handle != stream._handle and twin.bars == 60
    stream.close()  # the copy must not share the closed C memory
    for i in range(60, 120):
        twin.push(high[i], low[i])
    # The policies travel with the copy: a gap repeats the previous bar.
    probe = twin.clone()
    assert twin.push(np.nan, low[119]) == probe.push(high[119], low[119])
    probe.close()
    batch = tc.indicators(np.append(high, [high[119], high[119]]), np.append(low, [low[119], low[119]]))
    assert twin.push(high[119], low[119]) == tc.Values(*(getattr(batch, key)[121] for key in tc.COLUMNS))


def bars_after(stream, table):
    return np.array([stream.push(high, low) for high, low in table], dtype=np.float32).reshape(-1, 4)


@pytest.mark.parametrize("name", ["walk_long", "cycle_20", "nan_at_200", "minus_inf_at_40"])
def test_a_saved_stream_goes_on_bit_for_bit(golden, name):
    table = golden[name]
    for k in sorted({0, 1, 13, 51, len(table) // 2, len(table) - 1} & set(range(len(table)))):
        with tc.Stream(missing="nan") as stream:
            bars_after(stream, table[:k, :2])
            data = stream.to_bytes()
            assert isinstance(data, bytes) and len(data) == 11372
            loaded = tc.Stream.from_bytes(data)
            assert loaded.bars == k and loaded.to_bytes() == data
            assert_same_bits(bars_after(loaded, table[k:, :2]), table[k:, 2:], f"{name} from bar {k + 1}")
            assert_same_bits(bars_after(stream, table[k:, :2]), table[k:, 2:], f"{name}, the saved stream")
            loaded.close()


def test_the_committed_snapshot_continues_to_the_golden_values(golden):
    table = golden["walk_long"]
    stream = tc.Stream.from_bytes((REPO / "tests" / "data" / "snapshot-format-1.bin").read_bytes())
    assert stream.bars == 1000
    assert_same_bits(bars_after(stream, table[1000:, :2]), table[1000:, 2:], "walk_long after the snapshot")


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_pickle_carries_the_state_and_the_policies(protocol):
    high, low = random_walk(13, 200)
    stream = tc.Stream(missing="previous", warmup="nan")
    for i in range(20):
        stream.push(high[i], low[i])
    twin = pickle.loads(pickle.dumps(stream, protocol=protocol))
    assert twin.bars == 20 and twin._handle != stream._handle
    # A gap repeats the previous price on both; the warm-up still blanks values.
    assert twin.push(np.nan, low[20]) == stream.push(np.nan, low[20])
    assert math.isnan(twin.push(high[21], low[21]).swing_position)
    stream.push(high[21], low[21])
    for i in range(22, 200):
        assert twin.push(high[i], low[i]) == stream.push(high[i], low[i])
    with pytest.raises(ValueError, match="closed"):
        stream.close() or pickle.dumps(stream)


def continue_in_worker(pickled_stream, table):
    return bars_after(pickled_stream, table).tobytes(), pickled_stream.bars


def test_a_stream_sent_to_a_spawned_process_continues_there(golden):
    table = golden["walk_1.000000"]
    stream = tc.Stream(missing="error")
    bars_after(stream, table[:300, :2])
    context = multiprocessing.get_context("spawn")
    with concurrent.futures.ProcessPoolExecutor(1, mp_context=context) as pool:
        values, bars = pool.submit(continue_in_worker, stream, table[300:, :2]).result(timeout=120)
    assert bars == len(table)
    assert_same_bits(np.frombuffer(values, dtype=np.float32).reshape(-1, 4), table[300:, 2:], "in the worker")
    assert stream.bars == 300  # the sender's stream is untouched


@pytest.mark.parametrize("damage, expected", [
    (lambda data: b"", (2, "not a snapshot")),
    (lambda data: data[:-1], (1, "too short")),
    (lambda data: data[:100], (1, "too short")),
    (lambda data: b"garbage" * 2000, (2, "not a snapshot")),
    (lambda data: data[:3000] + bytes([data[3000] ^ 1]) + data[3001:], (4, "damaged")),
    (lambda data: data[:8] + b"\x63\x00\x00\x00" + data[12:], (3, "format this version")),
])
def test_bytes_that_are_no_snapshot_raise_with_the_reason(damage, expected):
    number, reason = expected
    stream = tc.Stream()
    stream.push(101.0, 99.0)
    bad = damage(stream.to_bytes())
    with pytest.raises(tc.SnapshotError, match=reason) as refused:
        tc.Stream.from_bytes(bad)
    assert isinstance(refused.value, ValueError) and refused.value.reason == number
    assert str(refused.value).startswith(f"cannot load the stream from {len(bad)} bytes: ")
    with pytest.raises(TypeError):
        tc.Stream.from_bytes("not bytes")
    assert tc.Stream.from_bytes(bytearray(stream.to_bytes())).bars == 1


# A stream, and a set of two members, each with a push and a bar count.
LIVE_KINDS = {
    "stream": (tc.Stream, lambda live: live.push(101.0, 99.0), lambda live: live.bars),
    "set": (lambda: tc.StreamSet(2), lambda live: live.push([101.0, 1e3], [99.0, 999.0]), lambda live: live.bars[0]),
}


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork")
@pytest.mark.parametrize("kind", LIVE_KINDS)
def test_fork_while_another_thread_pushes_gives_the_child_a_working_stream(kind):
    make, push, bars = LIVE_KINDS[kind]
    stream = make()
    stop = threading.Event()

    def hammer():
        while not stop.is_set():
            push(stream)

    worker = threading.Thread(target=hammer)
    worker.start()
    try:
        for _ in range(10):
            pid = os.fork()
            if pid == 0:  # the child: one thread, the inherited stream
                try:
                    before = bars(stream)
                    push(stream)
                    # And a new one: the child's registry takes it.
                    push(make())
                    os._exit(0 if bars(stream) == before + 1 else 3)
                finally:
                    os._exit(4)
            deadline = time.monotonic() + 20
            while True:
                done, status = os.waitpid(pid, os.WNOHANG)
                if done:
                    break
                if time.monotonic() > deadline:
                    os.kill(pid, signal.SIGKILL)
                    os.waitpid(pid, 0)
                    pytest.fail("the forked child hung on the stream's lock")
                time.sleep(0.01)
            assert os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0
    finally:
        stop.set()
        worker.join()
    stream.close()


# ---- stream sets ---------------------------------------------------------------


def _push_members(members, series, starts, skips):
    """Every series through one set, member j from interval starts[j] on and
    without a bar where skips(j, t); each member's values bar by bar."""
    count = len(series)
    taken = [np.full((len(table), 4), np.nan, dtype=np.float32) for table in series]
    next_bar = [0] * count
    t = 0
    while any(next_bar[j] < len(series[j]) for j in range(count)):
        has_bar = np.array([t >= starts[j] and next_bar[j] < len(series[j]) and not skips(j, t) for j in range(count)])
        # A member without a bar gets a price its policy would refuse: it
        # must not be read.
        high = [series[j][next_bar[j], 0] if has_bar[j] else None for j in range(count)]
        low = [series[j][next_bar[j], 1] if has_bar[j] else None for j in range(count)]
        latest = members.push(high, low, has_bar)
        for j in np.flatnonzero(has_bar):
            assert latest.bar[j] == next_bar[j] + 1
            taken[j][next_bar[j]] = [getattr(latest, column)[j] for column in tc.COLUMNS]
            next_bar[j] += 1
        t += 1
    return taken


@pytest.mark.parametrize("warmup", ["values", "nan", 40])
def test_every_member_of_a_set_gives_its_own_series_bits(golden, warmup):
    names = ["walk_1.000000", "cycle_20", "nan_at_200", "minus_inf_at_40", "swapped", "short_7", "walk_long"]
    series = [golden[name] for name in names] + [golden["walk_long"]] * 4
    with tc.StreamSet(len(series), missing="nan", warmup=warmup) as members:
        taken = _push_members(members, series, [(j * 7) % 31 for j in range(len(series))],
                              lambda j, t: j % 3 == 1 and t % 5 == 2)
    for j, table in enumerate(series):
        expected = tc.indicators(table[:, 0], table[:, 1], missing="nan", warmup=warmup)
        for i, column in enumerate(tc.COLUMNS):
            assert_same_bits(taken[j][:, i], getattr(expected, column), f"member {j} {column}")


def test_a_refused_price_names_the_member_and_no_member_advances():
    high, low = random_walk(5, 120)
    members, alone = tc.StreamSet(3), tc.StreamSet(3)
    for i in range(50):
        for target in (members, alone):
            target.push([high[i]] * 3, [low[i]] * 3, [1, i % 2, 1])
    before = members.bars
    with pytest.raises(tc.MissingPriceError, match=r"^member 1, low of bar 26: missing price \(nan\); "
                                                   r"StreamSet\(missing='previous'\) repeats"):
        members.push([high[50]] * 3, [low[50], None, low[50]])
    assert (members.bars == before).all()
    for i in range(50, 120):
        ours = members.push([high[i], np.inf, high[i]], [low[i], None, low[i]], [True, False, True])
        theirs = alone.push([high[i], 0, high[i]], [low[i], 0, low[i]], np.array([True, False, True]))
        for a, b in zip(ours, theirs):
            assert_same_bits(a, b, f"interval {i}")
    members.close()
    alone.close()


def test_set_members_and_streams_share_snapshots_and_pickle_goes_through_them(golden):
    table = golden["walk_long"]
    half = len(table) // 2
    members = tc.StreamSet(2, missing="previous")
    for i in range(half):
        members.push([table[i, 0]] * 2, [table[i, 1]] * 2, [True, i < 10])
    resumed = tc.Stream.from_bytes(members.to_bytes(0))
    assert resumed.bars == half
    pushed = np.array([resumed.push(h, l) for h, l in table[half:, :2]], dtype=np.float32)
    assert_same_bits(pushed, table[half:, 2:], "member 0 as a stream")

    stream = tc.Stream(missing="nan")
    for h, l in table[:30, :2]:
        stream.push(h, l)
    members.load(1, stream.to_bytes())
    assert (members.missing(0), members.missing(1)) == ("previous", "nan")
    assert list(members.bars) == [half, 30]
    for twin in (pickle.loads(pickle.dumps(members)), copy.deepcopy(members), members):
        latest = twin.push([table[half, 0], table[30, 0]], [table[half, 1], table[30, 1]])
        assert list(latest.bar) == [half + 1, 31]
        assert_same_bits([latest.cycle_period[0], latest.trend_vigor[1]], [table[half, 2], table[30, 5]])
        assert twin.missing(1) == "nan"

    damaged = bytearray(members.to_bytes(1))
    damaged[-1] ^= 1
    with pytest.raises(tc.SnapshotError, match="^cannot load member 1 from"):
        members.load(1, damaged)
    with pytest.raises(TypeError):
        members.load(1, "bytes")
    assert list(members.bars) == [half + 1, 31]
    # A member just loaded has no values until its next bar.
    members.load(1, stream.to_bytes())
    latest = members.push([table[half + 1, 0], None], [table[half + 1, 1], None], [True, False])
    assert latest.bar[1] == 30 and np.isnan([getattr(latest, column)[1] for column in tc.COLUMNS]).all()
    members.close()


def test_a_set_checks_its_arguments_and_refuses_calls_once_closed():
    for count, error in [(0, ValueError), (-1, ValueError), (2**31, ValueError), (2.0, TypeError), (True, TypeError),
                         ("3", TypeError)]:
        with pytest.raises(error):
            tc.StreamSet(count)
    with pytest.raises(ValueError):
        tc.StreamSet(2, missing="skip")
    members = tc.StreamSet(2)
    assert len(members) == 2
    for call, error, pattern in [
        (lambda: members.push([1.0], [1.0]), ValueError, "one price per member"),
        (lambda: members.push([1.0, "2"], [1.0, 1.0]), TypeError, "must hold numbers"),
        (lambda: members.push([1.0, 1.0], [1.0, 1.0], [1, 2]), TypeError, "True/False"),
        (lambda: members.push([1.0, 1.0], [1.0, 1.0], ["yes", "no"]), TypeError, "True/False"),
        (lambda: members.push([1.0, 1.0], [1.0, 1.0], [True]), ValueError, "one truth value per member"),
        (lambda: members.to_bytes(2), IndexError, "not one of the set's 2 members"),
        (lambda: members.missing(True), TypeError, "whole number"),
    ]:
        with pytest.raises(error, match=pattern):
            call()
    first = members.push([101.0, 101.0], [99.0, 99.0], [1, 0])
    assert first.cycle_period[0] == 0 and math.isnan(first.cycle_period[1]) and list(first.bar) == [1, 0]
    members.close()
    members.close()
    assert members.closed
    for call in (lambda: members.push([1.0, 1.0], [1.0, 1.0]), lambda: members.to_bytes(0),
                 lambda: members.missing(0), lambda: pickle.dumps(members)):
        with pytest.raises(ValueError, match="closed"):
            call()
