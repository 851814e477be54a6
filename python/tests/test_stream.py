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


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork")
def test_fork_while_another_thread_pushes_gives_the_child_a_working_stream():
    stream = tc.Stream()
    stop = threading.Event()

    def hammer():
        while not stop.is_set():
            stream.push(101.0, 99.0)

    worker = threading.Thread(target=hammer)
    worker.start()
    try:
        for _ in range(10):
            pid = os.fork()
            if pid == 0:  # the child: one thread, the inherited stream
                try:
                    before = stream.bars
                    stream.push(101.0, 99.0)
                    os._exit(0 if stream.bars == before + 1 else 3)
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
