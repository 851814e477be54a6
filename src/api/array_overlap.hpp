// SPDX-License-Identifier: MIT
// Which output arrays a batch may write: each bar's prices are read before
// its values are written, so an output that is exactly an input computes in
// place; any other overlap would overwrite prices not yet read (or another
// output's values) and is refused.
#pragma once

#include <cstdint>

#include "all_indicators.hpp"

namespace tamsel {

struct ByteRange {
  std::uintptr_t begin;
  std::uintptr_t end;
};

inline ByteRange RangeOf(const float* series, int count) {
  // Addresses as integers: the arrays may belong to different objects, where
  // comparing the pointers themselves would mean nothing.
  const auto begin = reinterpret_cast<std::uintptr_t>(series);
  return {begin, begin + static_cast<std::uintptr_t>(count) * sizeof(float)};
}

inline bool Overlap(ByteRange a, ByteRange b) { return a.begin < b.end && b.begin < a.end; }

inline bool OutputsMayBeWritten(const float* high, const float* low, int count, const IndicatorOutputs& out) {
  const float* outputs[] = {out.cyclePeriod, out.signalToNoiseRatio, out.swingPosition, out.trendVigor};
  constexpr int kOutputs = sizeof outputs / sizeof outputs[0];
  for (int i = 0; i < kOutputs; ++i) {
    if (outputs[i] == nullptr) continue;
    const ByteRange written = RangeOf(outputs[i], count);
    if (outputs[i] != high && Overlap(written, RangeOf(high, count))) return false;
    if (outputs[i] != low && Overlap(written, RangeOf(low, count))) return false;
    for (int j = i + 1; j < kOutputs; ++j)
      if (outputs[j] != nullptr && Overlap(written, RangeOf(outputs[j], count))) return false;
  }
  return true;
}

}  // namespace tamsel
