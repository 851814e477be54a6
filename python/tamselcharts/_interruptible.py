# SPDX-License-Identifier: MIT
"""Long library calls that Ctrl+C can stop.

Python raises KeyboardInterrupt only between bytecodes of the main thread,
so a C call over ten million bars would keep the user waiting for seconds.
A long call runs in a worker thread instead, while the main thread waits in
short slices and so sees the interrupt at once.  The worker keeps every
buffer it was given alive until the C call has returned, so an abandoned
call never writes into freed memory.
"""

from __future__ import annotations

import threading
from collections.abc import Callable, Sequence
from typing import Any

# Below this many bars a call takes well under a tenth of a second: a
# thread would only add its start-up cost.
_THREAD_FROM_BARS = 200_000
_SLICE_SECONDS = 0.05


def _in_threads(function: Callable[..., int], buffers: tuple[Any, ...],
                argument_lists: Sequence[tuple[Any, ...]]) -> list[int]:
    """function(*arguments) for each of argument_lists, each in a worker
    thread, while the calling thread waits in short slices."""
    results: list[Any] = [None] * len(argument_lists)

    def work(slot: int, arguments: tuple[Any, ...]) -> None:
        held = buffers  # the arrays outlive the C call even if the caller gives up
        results[slot] = function(*arguments)
        del held

    # Daemons: an interrupted call must not keep the interpreter from exiting.
    workers = [threading.Thread(target=work, args=(slot, arguments), name="tamselcharts call", daemon=True)
               for slot, arguments in enumerate(argument_lists)]
    for worker in workers:
        worker.start()
    for worker in workers:
        while worker.is_alive():
            worker.join(_SLICE_SECONDS)
    return results


def call(function: Callable[..., int], bars: int, buffers: tuple[Any, ...], *arguments: Any) -> int:
    """function(*arguments), interruptible when it covers many bars; buffers
    are the arrays the arguments point into, held until the call is over."""
    if bars < _THREAD_FROM_BARS or threading.current_thread() is not threading.main_thread():
        return function(*arguments)
    return _in_threads(function, buffers, [arguments])[0]


def call_each(function: Callable[..., int], bars: int, buffers: tuple[Any, ...],
              argument_lists: Sequence[tuple[Any, ...]]) -> list[int]:
    """function(*arguments) for each of argument_lists, each in a thread of
    its own when there are several (the library's calls release the GIL and
    run side by side on different data), interruptible as call() is."""
    if len(argument_lists) == 1:
        return [call(function, bars, buffers, *argument_lists[0])]
    return _in_threads(function, buffers, argument_lists)
