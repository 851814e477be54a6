# SPDX-License-Identifier: MIT
"""A picture of the four indicators under the price they were computed from."""

from __future__ import annotations

import os
from typing import Any, NamedTuple, Optional

import numpy as np

from ._api import ColumnNotFoundError, find_column, indicators, swing_position
from ._picture_file import open_picture, picture_format
from ._policy import Missing, Order
from ._table import INDICATORS, Indicator
from ._tool_bars import parse_times, read_bars

__all__ = ["plot", "picture_format"]

_DATE_NAMES = ("date", "datetime", "time", "timestamp")
# Beyond this many bars one vertical line per bar blurs into a block: the
# price is drawn as a high-low band instead.
_BAND_FROM_BARS = 400
# The swing position turns about every ten bars: over many bars its pane
# shows only the last `swing_bars`, on a time axis of its own, at the bottom.
_ZOOMED = swing_position.__name__
_COLORS = ("tab:purple", "tab:green", "tab:orange", "tab:brown", "tab:olive", "tab:cyan")


class ChartBars(NamedTuple):
    """What the chart draws, in time order."""

    x: Any  # each bar's time (datetime64) or bar number
    labels: list[str]  # each bar's time as its reader shows it, "" when unknown
    high: Any
    low: Any
    close: Optional[Any]
    values: dict[str, Any]  # by indicator column
    first_bar: int  # 0-based bar number of the first bar drawn

    def last(self, bars: Optional[int]) -> ChartBars:
        """Only the last bars (computed over every bar)."""
        if bars is None or bars >= len(self.high):
            return self
        cut = slice(len(self.high) - bars, None)
        return ChartBars(self.x[cut], self.labels[cut], self.high[cut], self.low[cut],
                         None if self.close is None else self.close[cut],
                         {column: series[cut] for column, series in self.values.items()},
                         self.first_bar + len(self.high) - bars)


def _label(value: Any) -> str:
    """A bar's time as a reader writes it: the date alone at midnight."""
    if isinstance(value, np.datetime64):
        import pandas as pd

        stamp = pd.Timestamp(value)
        return str(stamp.date()) if stamp == stamp.normalize() else str(stamp)
    return str(value)


def _frame_bars(frame: Any, high_column: str, low_column: str, close_column: str, missing: Missing,
                order: Order) -> ChartBars:
    """A DataFrame's bars and their indicators; times from a Date-like column
    or the index."""
    high_name = find_column(frame, high_column, "high")
    low_name = find_column(frame, low_column, "low")
    try:
        close_name: Any = find_column(frame, close_column, "close")
    except ColumnNotFoundError:
        close_name = None
    values = indicators(frame, high_column=high_name, low_column=low_name, missing=missing, order=order)
    if order == "newest-first":  # drawn in time order, left to right
        frame, values = frame.iloc[::-1], values.iloc[::-1]
    x = frame.index.to_numpy()
    for name in _DATE_NAMES:
        try:
            import pandas as pd

            x = pd.to_datetime(frame[find_column(frame, name, name)]).to_numpy()
            break
        except ColumnNotFoundError:
            continue
    close = None if close_name is None else np.asarray(frame[close_name], dtype=np.float64)
    return ChartBars(x, [_label(value) for value in x], np.asarray(frame[high_name], dtype=np.float64),
                     np.asarray(frame[low_name], dtype=np.float64), close,
                     {indicator.column: values[indicator.column].to_numpy() for indicator in INDICATORS}, 0)


def _file_bars(path: Any, high_column: str, low_column: str, missing: Missing, order: Order) -> ChartBars:
    """A price file's bars as `tamsel` reads and computes them; times on the
    axis only where the file writes them unambiguously."""
    read = read_bars(path, high=high_column, low=low_column, missing=missing, order=order)
    times = parse_times(read.times)
    x = times if times is not None else np.arange(1, len(read.high) + 1)
    return ChartBars(x, read.times, read.high, read.low, None, read.values, 0)


def _heading(bars: ChartBars, title: Optional[str]) -> str:
    count = len(bars.high)
    if not count:
        heading = "no bars"
    elif bars.labels[0] and bars.labels[-1]:
        heading = f"{bars.labels[0]} to {bars.labels[-1]}, {count} bars"
    else:
        heading = f"bars {bars.first_bar + 1} to {bars.first_bar + count}"
    return f"{title}: {heading}" if title else f"TamselCharts indicators, {heading}"


def _beside(ax: Any, value: float) -> None:
    """The last value written at the right of its pane."""
    if np.isfinite(value):
        ax.annotate(f"{value:.4g}", xy=(1.0, value), xycoords=("axes fraction", "data"), xytext=(4, 0),
                    textcoords="offset points", va="center", fontsize="small")


def _draw_price(ax: Any, bars: ChartBars, title: Optional[str]) -> None:
    if len(bars.high) > _BAND_FROM_BARS:
        ax.fill_between(bars.x, bars.low, bars.high, color="0.6", linewidth=0, label="high-low range")
    else:
        ax.vlines(bars.x, bars.low, bars.high, color="0.55", linewidth=1.0, label="high-low range")
    shown = bars.high
    if bars.close is not None:
        shown = bars.close
        ax.plot(bars.x, shown, color="tab:blue", linewidth=1.0, label="close")
    ax.set_ylabel("price")
    from matplotlib.patches import Patch

    handles, _ = ax.get_legend_handles_labels()
    handles.append(Patch(color="0.85", label="indicator start-up bars"))
    ax.legend(handles=handles, loc="best", fontsize="small")
    ax.set_title(_heading(bars, title))
    if len(shown):
        _beside(ax, float(shown[-1]))


def _draw_indicator(ax: Any, bars: ChartBars, indicator: Indicator, color: str, shown: Optional[int]) -> None:
    """One indicator's pane: its series, lines at the ends of its range (and
    at 0 inside it), its start-up bars shaded, its last value; `shown` keeps
    only the last bars."""
    start = 0 if shown is None else len(bars.high) - shown
    series = bars.values[indicator.column][start:]
    times = bars.x[start:]
    ax.plot(times, series, color=color, linewidth=1.0)
    levels = [indicator.lowest, indicator.highest]
    if indicator.lowest < 0 < indicator.highest:
        levels.insert(1, 0.0)
    for level in levels:
        ax.axhline(level, color="0.3" if level == 0 else "tab:red", linewidth=0.8, linestyle="--", alpha=0.7)
    warm = indicator.warmup_bars - bars.first_bar - start
    if warm > 0 and len(series):
        ax.axvspan(times[0], times[min(warm, len(series)) - 1], color="0.85", alpha=0.6, linewidth=0)
    room = (indicator.highest - indicator.lowest) * 0.075
    ax.set_ylim(indicator.lowest - room, indicator.highest + room)
    label = indicator.title.replace(" ", "\n", 1)
    ax.set_ylabel(label if shown is None else f"{label}\n(last {shown})")
    ax.grid(axis="y", alpha=0.3)
    if len(series):
        _beside(ax, float(series[-1]))


def _draw(bars: ChartBars, title: Optional[str], swing_bars: Optional[int], figsize: tuple[float, float],
          dpi: int) -> Any:
    # Figure without pyplot: no GUI backend and no global state, so charts can
    # be drawn on servers and from several threads.
    from matplotlib.figure import Figure

    panes = [indicator for indicator in INDICATORS if indicator.column != _ZOOMED]
    panes += [indicator for indicator in INDICATORS if indicator.column == _ZOOMED]
    figure = Figure(figsize=figsize, dpi=dpi, layout="constrained")
    axes = figure.subplots(len(panes) + 1, 1, gridspec_kw={"height_ratios": [3] + [1] * len(panes)})
    zoom = swing_bars is not None and 0 < swing_bars < len(bars.high)
    _draw_price(axes[0], bars, title)
    for ax, indicator, color in zip(axes[1:], panes, _COLORS):
        zoomed = zoom and indicator.column == _ZOOMED
        if not zoomed:
            ax.sharex(axes[0])
        _draw_indicator(ax, bars, indicator, color, swing_bars if zoomed else None)
    # Time labels only under the last pane of the shared axis, and under a
    # zoomed pane of its own.
    for ax in axes[:-2] if zoom else axes[:-1]:
        ax.tick_params(labelbottom=False)
    for ax in axes:
        ax.margins(x=0.01)
    return figure


def plot(frame: Any, path: Any = None, *, title: Optional[str] = None, high_column: str = "high",
         low_column: str = "low", close_column: str = "close", last: Optional[int] = None,
         missing: Missing = "error", order: Order = "oldest-first", swing_bars: Optional[int] = 250,
         figsize: tuple[float, float] = (12, 9), dpi: int = 100) -> Any:
    """Draws the price and the four indicators; returns the Figure.

    `frame` is a DataFrame, or the name of a price file, which the bundled
    `tamsel` tool reads with its rules (PriceFileError, a ValueError with
    tamsel's message and exit status, when it refuses the file).  The top
    pane shows each bar's high-low range and, when a DataFrame has a close
    column, the close; below it one pane per indicator with its value
    range, its start-up bars shaded and its last value written at the
    right.  The title says which bars are shown (a given title comes
    first).  `last` shows only the last bars, computed over all of them.
    The swing position turns about every ten bars, so over more than
    `swing_bars` bars its pane (at the bottom) shows only the last
    `swing_bars`; None shows every bar.  missing and order are those of
    tamselcharts.indicators.  With `path` (a file name or a binary file) the
    figure is also saved there, its format from the file name's extension.
    """
    if last is not None and (isinstance(last, bool) or not isinstance(last, int) or last < 1):
        raise ValueError(f"last must be a whole number of bars of at least 1, not {last!r}")
    if path is None or not isinstance(path, (str, os.PathLike)):
        figure = _figure(frame, title, high_column, low_column, close_column, last, missing, order, swing_bars,
                         figsize, dpi)
        if path is not None:
            figure.savefig(path)
        return figure
    kind = picture_format(path)  # before the work, not after it
    with open_picture(path) as out:
        figure = _figure(frame, title, high_column, low_column, close_column, last, missing, order, swing_bars,
                         figsize, dpi)
        figure.savefig(out, format=kind)
    return figure


def _figure(frame: Any, title: Optional[str], high_column: str, low_column: str, close_column: str,
            last: Optional[int], missing: Missing, order: Order, swing_bars: Optional[int],
            figsize: tuple[float, float], dpi: int) -> Any:
    if isinstance(frame, (str, bytes, os.PathLike)):
        bars = _file_bars(os.fsdecode(frame), high_column, low_column, missing, order)
    else:
        bars = _frame_bars(frame, high_column, low_column, close_column, missing, order)
    return _draw(bars.last(last), title, swing_bars, figsize, dpi)
