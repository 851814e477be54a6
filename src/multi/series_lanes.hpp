// SPDX-License-Identifier: MIT
// The many-series engine: up to one vector's width of series side by side,
// each lane of every vector holding its own series, so that what a single
// series computes value by value (the centroid's sums, the medians, the
// band-passes, the signal-to-noise logarithm, the swing window) becomes one
// vector operation for all of them.  Each lane computes exactly its series'
// own expressions in their own order: a series gets the bits of its own
// call, whatever its neighbours hold.
#pragma once

#include "TamselCharts.h"

namespace tamsel {

// Runs the series (count at most the kernel's Width, each computed as the
// batch call would compute it alone) in the lanes of one pass.  Returns
// false, having written nothing, when the engine's state cannot be had.
using SeriesLanesRun = bool (*)(const TamselChart_SeriesIO* const* series, int count);

struct SeriesLanesKernel {
  int Width;  // series per pass
  SeriesLanesRun Run;
};

namespace baseline {
extern const SeriesLanesKernel kSeriesLanes;
}  // namespace baseline
#if defined(TAMSEL_SIMD_DISPATCH)
namespace avx2 {
extern const SeriesLanesKernel kSeriesLanes;
}  // namespace avx2
namespace avx512 {
extern const SeriesLanesKernel kSeriesLanes;
}  // namespace avx512
#endif

// The engine of the instruction set the spectrum kernel in use was built
// for.
const SeriesLanesKernel& ActiveSeriesLanes();

}  // namespace tamsel
