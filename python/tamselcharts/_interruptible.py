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
from collections.abc import Callable
from typing import Any

# Below this many bars a call takes well under a tenth of a second: a
# thread would only add its start-up cost.
_THREAD_FROM_BARS = 200_000
_SLICE_SECONDS = 0.05


def call(function: Callable[..., int], bars: int, buffers: tuple[Any, ...], *arguments: Any) -> int:
    """function(*arguments), interruptible when it covers many bars; buffers
    are the arrays the arguments point into, held until the call is over."""
    if bars < _THREAD_FROM_BARS or threading.current_thread() is not threading.main_thread():
        return function(*arguments)
    result: list[int] = []

    def work() -> None:
        held = buffers  # the arrays outlive the C call even if the caller gives up
        result.append(function(*arguments))
        del held

    # A daemon: an interrupted call must not keep the interpreter from exiting.
    worker = threading.Thread(target=work, name="tamselcharts call", daemon=True)
    worker.start()
    while worker.is_alive():
        worker.join(_SLICE_SECONDS)
    return result[0]
