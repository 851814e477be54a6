# SPDX-License-Identifier: MIT
"""df.tamsel: the indicators as methods of a DataFrame, registered on import.

    df.tamsel.indicators()             the four columns on df's index
    df.tamsel.indicators(append=True)  df's columns followed by the four
    df.tamsel.trend_vigor()            one Series, likewise for the others

Every method takes the keyword arguments of tamselcharts.indicators
(missing=, warmup=, order=, high_column=, low_column=).
"""

from __future__ import annotations

from typing import Any, cast

import pandas as pd

from . import _api
from ._core import COLUMNS


@pd.api.extensions.register_dataframe_accessor("tamsel")
class TamselAccessor:
    def __init__(self, frame: pd.DataFrame) -> None:
        self._frame = frame

    def indicators(self, append: bool = False, **options: Any) -> pd.DataFrame:
        """The four indicators; with append=True a new frame holding the
        frame's own columns followed by them (the frame itself is unchanged)."""
        result = cast(pd.DataFrame, _api.indicators(self._frame, **options))
        if not append:
            return result
        taken = [column for column in COLUMNS if column in self._frame.columns]
        if taken:
            raise ValueError(f"the frame already has the columns {taken}: drop them before appending")
        appended: Any = pd.concat([self._frame, result], axis=1)
        return cast(pd.DataFrame, appended)

    def cycle_period(self, **options: Any) -> pd.Series:
        return cast(pd.Series, _api.cycle_period(self._frame, **options))

    def signal_to_noise_ratio(self, **options: Any) -> pd.Series:
        return cast(pd.Series, _api.signal_to_noise_ratio(self._frame, **options))

    def swing_position(self, **options: Any) -> pd.Series:
        return cast(pd.Series, _api.swing_position(self._frame, **options))

    def trend_vigor(self, **options: Any) -> pd.Series:
        return cast(pd.Series, _api.trend_vigor(self._frame, **options))
