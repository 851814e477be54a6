// SPDX-License-Identifier: MIT
// The batch frame behind every export: the bar-count check, fresh state, and
// one AllIndicators step per bar into the series the caller wants.
#pragma once

#include <type_traits>

#include "all_indicators.hpp"
#include "array_overlap.hpp"

namespace tamsel {

inline int RunBatch(const float* high, const float* low, int count, const IndicatorOutputs& out) {
  if (count < 1 || high == nullptr || low == nullptr) return 0;
  if (!OutputsMayBeWritten(high, low, count, out)) return 0;
  AllIndicators all;
  const auto at = [](float* series, int i) { return series != nullptr ? series + i : nullptr; };
  for (int i = 0; i < count; ++i)
    all.Step(high[i], low[i],
             {at(out.cyclePeriod, i), at(out.signalToNoiseRatio, i), at(out.swingPosition, i), at(out.trendVigor, i)});
  return count;
}

// One indicator's export: its own series wanted (and required), no other.
template <class Stage>
int RunIndicatorExport(const float* high, const float* low, int count, float* out) {
  if (out == nullptr) return 0;
  IndicatorOutputs series{};
  if constexpr (std::is_same_v<Stage, CyclePeriodStage>) series.cyclePeriod = out;
  if constexpr (std::is_same_v<Stage, SignalToNoiseStage>) series.signalToNoiseRatio = out;
  if constexpr (std::is_same_v<Stage, SwingPositionStage>) series.swingPosition = out;
  if constexpr (std::is_same_v<Stage, TrendVigorStage>) series.trendVigor = out;
  return RunBatch(high, low, count, series);
}

}  // namespace tamsel
