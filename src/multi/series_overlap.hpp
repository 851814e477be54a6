// SPDX-License-Identifier: MIT
// Whether the series of a many-series batch stay out of each other's way:
// series may share their prices, but an output of one series that overlaps
// an array of another would be written while the other still reads it (or
// writes it too) when the series run side by side.
#pragma once

#include "TamselCharts.h"

namespace tamsel::multi {

// Whether one series is computed at all: bars, prices, and its own arrays
// overlapping only as a single batch call allows.
bool SeriesIsComputed(const TamselChart_SeriesIO& series);

// 1 when no output of a computed series overlaps an array of another
// computed series, 0 when one does, -1 when the memory for the check cannot
// be had.
int SeriesStayApart(int seriesCount, const TamselChart_SeriesIO* series);

}  // namespace tamsel::multi
