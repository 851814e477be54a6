"""A picture of the four indicators under the price they were computed from."""

import numpy as np

from ._core import find_column, indicators

_DATE_NAMES = ("date", "datetime", "time", "timestamp")


def _optional_column(frame, names):
    for name in names:
        try:
            return find_column(frame, name, name)
        except ValueError:
            continue
    return None


def _time_axis(frame):
    """Bar times: a Date-like column if there is one, else the index."""
    column = _optional_column(frame, _DATE_NAMES)
    if column is not None:
        import pandas as pd

        return pd.to_datetime(frame[column]).to_numpy()
    return frame.index.to_numpy()


def plot(frame, path=None, *, title=None, high_column="high", low_column="low", close_column="close",
         last=None, figsize=(12, 9), dpi=100):
    """Draws the price and the four indicators of a DataFrame; returns the Figure.

    The top pane shows each bar's high-low range and, when the frame has a
    close column, the close; below it one pane per indicator with its own
    scale and reference lines.  With `path` the figure is also saved there
    (the format follows the file name's extension).  `last` shows only the
    last bars, computed over the whole frame so they are past the warm-up.
    """
    # Figure without pyplot: no GUI backend and no global state, so charts can
    # be drawn on servers and from several threads.
    from matplotlib.figure import Figure

    high_name = find_column(frame, high_column, "high")
    low_name = find_column(frame, low_column, "low")
    try:
        close_name = find_column(frame, close_column, "close")
    except ValueError:
        close_name = None
    values = indicators(frame, high_column=high_name, low_column=low_name)
    if last is not None and last > 0:
        frame = frame.iloc[-last:]
        values = values.iloc[-last:]
    x = _time_axis(frame)

    figure = Figure(figsize=figsize, dpi=dpi, layout="constrained")
    axes = figure.subplots(5, 1, sharex=True, gridspec_kw={"height_ratios": [3, 1, 1, 1, 1]})
    price, period, snr, swing, trend = axes

    high = np.asarray(frame[high_name], dtype=np.float64)
    low = np.asarray(frame[low_name], dtype=np.float64)
    price.vlines(x, low, high, color="0.55", linewidth=1.0, label="high-low range")
    if close_name is not None:
        price.plot(x, np.asarray(frame[close_name], dtype=np.float64), color="tab:blue", linewidth=1.0,
                   label="close")
    price.set_ylabel("price")
    price.legend(loc="upper left", fontsize="small")
    if title:
        price.set_title(title)

    def pane(ax, column, label, color, limits, references, ticks):
        ax.plot(x, values[column].to_numpy(), color=color, linewidth=1.0)
        for level in references:
            ax.axhline(level, color="0.3" if level == 0 else "tab:red", linewidth=0.8, linestyle="--", alpha=0.7)
        ax.set_ylim(*limits)
        ax.set_yticks(ticks)
        ax.set_ylabel(label)
        ax.grid(axis="y", alpha=0.3)

    pane(period, "cycle_period", "cycle\nperiod", "tab:purple", (4, 32), (), (6, 12, 18, 24, 30))
    pane(snr, "signal_to_noise", "signal to\nnoise", "tab:green", (0, 13), (1, 12), (1, 4, 8, 12))
    pane(swing, "swing_position", "swing\nposition", "tab:orange", (-6, 6), (-5, 0, 5), (-5, 0, 5))
    pane(trend, "trend_vigor", "trend\nvigor", "tab:brown", (-11.5, 11.5), (-10, 0, 10), (-10, 0, 10))
    for ax in axes:
        ax.margins(x=0.01)

    if path is not None:
        figure.savefig(path)
    return figure


def read_prices(path):
    """A price CSV as a DataFrame: Date/High/Low/Close style headers in any case,
    the date column (when there is one) parsed and made the index."""
    import pandas as pd

    frame = pd.read_csv(path)
    date = _optional_column(frame, _DATE_NAMES)
    if date is not None:
        frame[date] = pd.to_datetime(frame[date])
        frame = frame.set_index(date)
    return frame
