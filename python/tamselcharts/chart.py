# SPDX-License-Identifier: MIT
"""A picture of the four indicators under the price they were computed from."""

from __future__ import annotations

import contextlib
import os
import secrets
import signal
import stat
import threading
from collections.abc import Iterator
from typing import Any, BinaryIO, Optional

import numpy as np

from ._api import ColumnNotFoundError, find_column, indicators
from ._policy import WARMUP, Missing, Order

_DATE_NAMES = ("date", "datetime", "time", "timestamp")
# Beyond this many bars one vertical line per bar blurs into a block: the
# price is drawn as a high-low band instead.
_BAND_FROM_BARS = 400


def _optional_column(frame: Any, names: tuple[str, ...]) -> Any:
    for name in names:
        try:
            return find_column(frame, name, name)
        except ColumnNotFoundError:
            continue
    return None


def _time_axis(frame: Any) -> Any:
    """Bar times: a Date-like column if there is one, else the index."""
    column = _optional_column(frame, _DATE_NAMES)
    if column is not None:
        import pandas as pd

        return pd.to_datetime(frame[column]).to_numpy()
    return frame.index.to_numpy()


def _label(value: Any) -> str:
    """A bar's time as a reader writes it: the date alone at midnight."""
    if isinstance(value, np.datetime64):
        import pandas as pd

        stamp = pd.Timestamp(value)
        return str(stamp.date()) if stamp == stamp.normalize() else str(stamp)
    return str(value)


def plot(frame: Any, path: Any = None, *, title: Optional[str] = None, high_column: str = "high",
         low_column: str = "low", close_column: str = "close", last: Optional[int] = None,
         missing: Missing = "error", order: Order = "oldest-first", swing_bars: Optional[int] = 250,
         figsize: tuple[float, float] = (12, 9), dpi: int = 100) -> Any:
    """Draws the price and the four indicators of a DataFrame; returns the Figure.

    The top pane shows each bar's high-low range and, when the frame has a
    close column, the close; below it one pane per indicator with its own
    scale, reference lines, its start-up bars shaded and its last value
    written at the right.  The title says which bars are shown (a given
    title comes first).  `last` shows only the last bars, computed over the
    whole frame.  The swing position turns about every ten bars, so over
    more than `swing_bars` bars its pane (at the bottom) shows only the last
    `swing_bars`; None shows every bar.  missing and order are those of
    tamselcharts.indicators.  With `path` the figure is also saved there
    (the format follows the file name's extension).
    """
    # Figure without pyplot: no GUI backend and no global state, so charts can
    # be drawn on servers and from several threads.
    from matplotlib.figure import Figure

    high_name = find_column(frame, high_column, "high")
    low_name = find_column(frame, low_column, "low")
    try:
        close_name = find_column(frame, close_column, "close")
    except ColumnNotFoundError:
        close_name = None
    values = indicators(frame, high_column=high_name, low_column=low_name, missing=missing, order=order)
    if order == "newest-first":  # drawn in time order, left to right
        frame, values = frame.iloc[::-1], values.iloc[::-1]
    total = len(frame)
    if last is not None and (isinstance(last, bool) or not isinstance(last, int) or last < 1):
        raise ValueError(f"last must be a whole number of bars of at least 1, not {last!r}")
    if path is not None and isinstance(path, (str, os.PathLike)):
        picture_format(path)  # before the work, not after it
    if last is not None:
        frame = frame.iloc[-last:]
        values = values.iloc[-last:]
    first_bar = total - len(frame)  # 0-based bar number of the first bar shown
    x = _time_axis(frame)

    figure = Figure(figsize=figsize, dpi=dpi, layout="constrained")
    axes = figure.subplots(5, 1, gridspec_kw={"height_ratios": [3, 1, 1, 1, 1]})
    price, period, snr, trend, swing = axes
    for ax in (period, snr, trend):
        ax.sharex(price)
    zoom_swing = swing_bars is not None and 0 < swing_bars < len(frame)
    if not zoom_swing:
        swing.sharex(price)

    high = np.asarray(frame[high_name], dtype=np.float64)
    low = np.asarray(frame[low_name], dtype=np.float64)
    if len(frame) > _BAND_FROM_BARS:
        price.fill_between(x, low, high, color="0.6", linewidth=0, label="high-low range")
    else:
        price.vlines(x, low, high, color="0.55", linewidth=1.0, label="high-low range")
    shown = high
    if close_name is not None:
        shown = np.asarray(frame[close_name], dtype=np.float64)
        price.plot(x, shown, color="tab:blue", linewidth=1.0, label="close")
    price.set_ylabel("price")
    from matplotlib.patches import Patch

    handles, _ = price.get_legend_handles_labels()
    handles.append(Patch(color="0.85", label="indicator start-up bars"))
    price.legend(handles=handles, loc="best", fontsize="small")
    heading = f"{_label(x[0])} to {_label(x[-1])}, {len(frame)} bars" if len(frame) else "no bars"
    price.set_title(f"{title}: {heading}" if title else f"TamselCharts indicators, {heading}")

    def beside(ax: Any, value: float) -> None:
        if np.isfinite(value):
            ax.annotate(f"{value:.4g}", xy=(1.0, value), xycoords=("axes fraction", "data"), xytext=(4, 0),
                        textcoords="offset points", va="center", fontsize="small")

    if len(frame):
        beside(price, float(shown[-1]))

    def pane(ax: Any, column: str, label: str, color: str, limits: tuple[float, float],
             references: tuple[float, ...], ticks: tuple[float, ...], bars: slice = slice(None)) -> None:
        series = values[column].to_numpy()[bars]
        times = x[bars]
        ax.plot(times, series, color=color, linewidth=1.0)
        for level in references:
            ax.axhline(level, color="0.3" if level == 0 else "tab:red", linewidth=0.8, linestyle="--", alpha=0.7)
        # The start-up bars (WARMUP) that are on the chart, shaded.
        start = bars.start or 0
        warm = WARMUP[column] - first_bar - start
        if warm > 0 and len(series):
            ax.axvspan(times[0], times[min(warm, len(series)) - 1], color="0.85", alpha=0.6, linewidth=0)
        ax.set_ylim(*limits)
        ax.set_yticks(ticks)
        ax.set_ylabel(label)
        ax.grid(axis="y", alpha=0.3)
        if len(series):
            beside(ax, float(series[-1]))

    pane(period, "cycle_period", "cycle\nperiod", "tab:purple", (4, 32), (), (6, 12, 18, 24, 30))
    pane(snr, "signal_to_noise", "signal to\nnoise", "tab:green", (0, 13), (1, 12), (1, 4, 8, 12))
    pane(trend, "trend_vigor", "trend\nvigor", "tab:brown", (-11.5, 11.5), (-10, 0, 10), (-10, 0, 10))
    if zoom_swing:
        assert swing_bars is not None
        pane(swing, "swing_position", f"swing\nposition\n(last {swing_bars})", "tab:orange", (-6, 6),
             (-5, 0, 5), (-5, 0, 5), slice(len(frame) - swing_bars, None))
    else:
        pane(swing, "swing_position", "swing\nposition", "tab:orange", (-6, 6), (-5, 0, 5), (-5, 0, 5))
    for ax in (price, period, snr):
        ax.tick_params(labelbottom=False)
    if not zoom_swing:
        trend.tick_params(labelbottom=False)
    for ax in axes:
        ax.margins(x=0.01)

    if path is not None:
        _save(figure, path)
    return figure


def picture_format(path: Any) -> str:
    """The picture format a file name asks for, refused before any work
    when matplotlib cannot write it."""
    from matplotlib.figure import Figure

    extension = os.path.splitext(os.fspath(path))[1][1:].lower()
    if not extension and not os.path.isfile(path) and os.path.exists(path):
        extension = "png"  # /dev/stdout, a pipe: no name to tell from, PNG as the default
    formats = Figure().canvas.get_supported_filetypes()
    if extension not in formats:
        raise ValueError(f"cannot tell the picture format from {os.fspath(path)!r}: the extension "
                         f"{'.' + extension if extension else '(none)'} is none of {', '.join(sorted(formats))}")
    return str(extension)


def _save(figure: Any, path: Any) -> None:
    """Saves to a file name as `tamsel -o` writes: a regular file already
    there is replaced only by a complete new one (its permissions kept),
    never left truncated by a full disk or an interruption; a FIFO, a
    terminal or /dev/stdout is written directly.  File objects are written
    as given."""
    if not isinstance(path, (str, os.PathLike)):
        figure.savefig(path)
        return
    kind = picture_format(path)
    target = os.path.realpath(os.fspath(path))  # a symlink's file is replaced, not the link
    try:
        existing: Optional[os.stat_result] = os.stat(os.fspath(path))  # follows links: /dev/stdout's pipe
    except FileNotFoundError:
        existing = None
    if existing is not None and not stat.S_ISREG(existing.st_mode):
        with open(os.fspath(path), "wb") as out:
            figure.savefig(out, format=kind)
        return
    with _replacing(target, existing) as out:
        figure.savefig(out, format=kind)


class _Interrupted(BaseException):
    """SIGTERM or SIGHUP during a save: the temporary is removed first."""


@contextlib.contextmanager
def _replacing(target: str, existing: Optional[os.stat_result]) -> Iterator[BinaryIO]:
    directory = os.path.dirname(target)
    # A short name of its own in the same directory: the rename is atomic,
    # and a name that is legal for the picture is legal for its temporary.
    temporary = os.path.join(directory, f".tc{secrets.token_hex(4)}.tmp")
    handlers = _cleanup_on_signals()
    try:
        # Created as open() would create the picture (0666 less the umask).
        descriptor = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_CLOEXEC", 0), 0o666)
        try:
            with os.fdopen(descriptor, "wb") as out:
                yield out
                out.flush()
                os.fsync(out.fileno())
            if existing is not None:
                os.chmod(temporary, stat.S_IMODE(existing.st_mode))
            os.replace(temporary, target)
        except BaseException:
            with contextlib.suppress(FileNotFoundError):
                os.unlink(temporary)
            raise
    except _Interrupted as signalled:
        _restore(handlers)
        signal.raise_signal(signalled.args[0])
        raise
    finally:
        _restore(handlers)


def _cleanup_on_signals() -> dict[int, Any]:
    """SIGTERM and SIGHUP raise inside the save (SIGINT does already, as
    KeyboardInterrupt), so the temporary is removed before the process ends
    with the signal's own status."""
    if threading.current_thread() is not threading.main_thread():
        return {}

    def interrupted(number: int, frame: Any) -> None:
        raise _Interrupted(number)

    handlers = {}
    for name in ("SIGTERM", "SIGHUP"):
        number = getattr(signal, name, None)
        if number is not None and signal.getsignal(number) == signal.SIG_DFL:
            handlers[number] = signal.signal(number, interrupted)
    return handlers


def _restore(handlers: dict[int, Any]) -> None:
    for number, handler in handlers.items():
        signal.signal(number, handler)
    handlers.clear()


def read_prices(path: Any) -> Any:
    """A price CSV as a DataFrame: commas, semicolons or tabs, a UTF-8
    byte-order mark allowed, Date/High/Low/Close style headers in any case;
    the date column (when there is one) parsed and made the index."""
    import pandas as pd

    frame = pd.read_csv(path, sep=None, engine="python", encoding="utf-8-sig")
    date = _optional_column(frame, _DATE_NAMES)
    if date is not None:
        frame[date] = pd.to_datetime(frame[date])
        frame = frame.set_index(date)
    return frame
