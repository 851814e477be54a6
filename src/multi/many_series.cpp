// SPDX-License-Identifier: MIT
// The many-series batch: the arrays checked once for the whole call, then
// every series through the same batch frame as TamselChart_AllIndicators, so
// each gets its own call's bits by construction.
#include "TamselCharts.h"
#include "api/float_environment_guard.hpp"
#include "api/indicator_frame.hpp"
#include "series_overlap.hpp"

using namespace tamsel;

extern "C" {

int TAMSELCHART_CALL TamselChart_AllIndicatorsMany(int seriesCount, const TamselChart_SeriesIO* series) {
  const FloatEnvironmentGuard guard;
  if (seriesCount < 1 || series == nullptr) return 0;
  if (multi::SeriesStayApart(seriesCount, series) != 1) return 0;
  int computed = 0;
  for (int s = 0; s < seriesCount; ++s) {
    const TamselChart_SeriesIO& io = series[s];
    if (!multi::SeriesIsComputed(io)) continue;
    RunBatch(io.high, io.low, io.count, {io.cyclePeriod, io.signalToNoiseRatio, io.swingPosition, io.trendVigor});
    ++computed;
  }
  return computed;
}

}  // extern "C"
