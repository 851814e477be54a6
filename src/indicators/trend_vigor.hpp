// SPDX-License-Identifier: MIT
// Trend vigor: the mid price's change over about one measured cycle in units
// of the tuned band-pass's amplitude, smoothed, limited to -10..+10.
#pragma once

#include <cstdint>

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
  // Start-up bars: the price change over one cycle reaches back to the 0.0
  // mid price before bar 1 on every bar through 14, and through bar 29
  // whenever the measured cycle (at most 30 bars, a look-back of at most 29)
  // is longer than the bars so far.
  static constexpr int kWarmupBars = 29;

  template <class Visitor>
  constexpr void VisitState(Visitor& visit) {
    visit.Doubles(midPriceHistory_, kRingLength);
    visit.Position(newest_, kRingLength);
    bandPass_.VisitState(visit);
    // Clamped to -10..+10, NaN included, on every bar.
    visit.NeverNaN(vigorRatio_);
  }

 private:
  double MidPriceAgo(int barsAgo) const { return midPriceHistory_[(newest_ - barsAgo) & (kRingLength - 1)]; }

  // A ring: newest_ is the slot of this bar's mid price, and MidPriceAgo(k)
  // the value k bars back; slots not yet written read as 0.0, the mid price
  // "before the first bar".
  double midPriceHistory_[kRingLength] = {};
  std::int32_t newest_ = 0;
  TunedBandPass bandPass_{6.0, static_cast<double>(kHistoryLength)};
  double vigorRatio_ = 0.0;
};

}  // namespace tamsel
