// SPDX-License-Identifier: MIT
// The many-series batch: the arrays checked once for the whole call, then
// the series packed into the lanes of the many-series engine, longest
// first so that a pass's series end close together.  Series too few to
// fill most of a pass's lanes go through a narrower engine, or through the
// same batch frame as TamselChart_AllIndicators.  Either way each gets its
// own call's bits.
#include <algorithm>
#include <cstring>

#include "TamselCharts.h"
#include "api/aligned_allocation.hpp"
#include "api/float_environment_guard.hpp"
#include "api/indicator_frame.hpp"
#include "series_lanes.hpp"
#include "series_overlap.hpp"
#include "spectrum/spectrum_kernel.hpp"

namespace tamsel {

const SeriesLanesKernel& ActiveSeriesLanes() {
#if defined(TAMSEL_SIMD_DISPATCH)
  const char* name = ActiveSpectrumTarget().Name;
  if (std::strcmp(name, "avx512") == 0) return avx512::kSeriesLanes;
  if (std::strcmp(name, "avx2") == 0) return avx2::kSeriesLanes;
#endif
  return baseline::kSeriesLanes;
}

// AVX2's engine beside AVX-512's, none below AVX2 (a pass of the baseline
// engine costs more than the wide kernels' single series it would replace).
const SeriesLanesKernel* NarrowerSeriesLanes(const SeriesLanesKernel* lanes) {
#if defined(TAMSEL_SIMD_DISPATCH)
  if (lanes == &avx512::kSeriesLanes) return &avx2::kSeriesLanes;
#else
  (void)lanes;
#endif
  return nullptr;
}

namespace {

// A pass costs about what its lanes would cost full, and a full one about
// three fifths of its series' single calls: a pass pays where at least three
// fifths of its lanes hold series.
bool PassPays(int series, int width) { return series >= 2 && series * 5 >= width * 3; }

void RunAlone(const TamselChart_SeriesIO& io) {
  RunBatch(io.high, io.low, io.count, {io.cyclePeriod, io.signalToNoiseRatio, io.swingPosition, io.trendVigor});
}

// The computed series, longest first, through the engine's passes.
// Returns false, having computed nothing, when there is no memory to order
// them.
bool RunInLanes(int seriesCount, const TamselChart_SeriesIO* series, int computed) {
  const SeriesLanesKernel& lanes = ActiveSeriesLanes();
  auto** longestFirst = static_cast<const TamselChart_SeriesIO**>(
      AllocateAligned(sizeof(const TamselChart_SeriesIO*) * static_cast<std::size_t>(computed), alignof(void*)));
  if (longestFirst == nullptr) return false;
  int n = 0;
  for (int s = 0; s < seriesCount; ++s)
    if (multi::SeriesIsComputed(series[s])) longestFirst[n++] = &series[s];
  // Ties in the caller's order; std::sort, unlike a stable sort, takes no
  // memory of its own from the C++ runtime.
  std::sort(longestFirst, longestFirst + n, [](const TamselChart_SeriesIO* a, const TamselChart_SeriesIO* b) {
    return a->count > b->count || (a->count == b->count && a < b);
  });
  for (int first = 0; first < n;) {
    const SeriesLanesKernel* pass = &lanes;
    while (pass != nullptr && !PassPays(std::min(pass->Width, n - first), pass->Width))
      pass = NarrowerSeriesLanes(pass);
    const int count = pass != nullptr ? std::min(pass->Width, n - first) : 1;
    if (pass == nullptr || !pass->Run(longestFirst + first, count))
      for (int j = 0; j < count; ++j) {
        const TamselChart_SeriesIO& io = *longestFirst[first + j];
        RunAlone(io);
      }
    first += count;
  }
  FreeAligned(longestFirst);
  return true;
}

}  // namespace
}  // namespace tamsel

using namespace tamsel;

extern "C" {

int TAMSELCHART_CALL TamselChart_AllIndicatorsMany(int seriesCount, const TamselChart_SeriesIO* series) {
  const FloatEnvironmentGuard guard;
  if (seriesCount < 1 || series == nullptr) return 0;
  if (multi::SeriesStayApart(seriesCount, series) != 1) return 0;
  int computed = 0;
  for (int s = 0; s < seriesCount; ++s)
    if (multi::SeriesIsComputed(series[s])) ++computed;
  if (computed > 0 && !RunInLanes(seriesCount, series, computed)) {
    for (int s = 0; s < seriesCount; ++s)
      if (multi::SeriesIsComputed(series[s])) RunAlone(series[s]);
  }
  return computed;
}

}  // extern "C"
