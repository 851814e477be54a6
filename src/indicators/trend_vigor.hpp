// SPDX-License-Identifier: MIT
// Trend vigor: the mid price's change over about one measured cycle in units
// of the tuned band-pass's amplitude, smoothed, limited to -10..+10.
#pragma once

#include "../spectrum/cycle_spectrum.hpp"
#include "../spectrum/tuned_band_pass.hpp"

namespace tamsel {

class TrendVigorStage {
 public:
  double Step(const CycleSpectrum& engine, float high, float low);

  // The look-back can reach 999 bars (a period at the upper limit); the
  // history is a ring one power of two longer than that.
  static constexpr int kHistoryLength = 1000;
  static constexpr int kRingLength = 1024;

 private:
  double MidPriceAgo(int barsAgo) const { return midPriceHistory_[(newest_ - barsAgo) & (kRingLength - 1)]; }

  // Element 0 is the newest; slots not yet written read as 0.0, the mid
  // price "before the first bar".
  double midPriceHistory_[kRingLength] = {};
  unsigned newest_ = 0;
  TunedBandPass bandPass_{6.0, static_cast<double>(kHistoryLength)};
  double vigorRatio_ = 0.0;
};

}  // namespace tamsel
