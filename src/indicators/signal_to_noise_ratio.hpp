// SPDX-License-Identifier: MIT
// Signal-to-noise ratio: the amplitude of the spectrum's strongest filter
// against the median high-low range of the five newest bars, both smoothed,
// in decibels with an offset of 3.5, clamped and written shifted up by one.
#pragma once

#include "../spectrum/cycle_spectrum.hpp"

namespace tamsel {

class SignalToNoiseStage {
 public:
  double Step(const CycleSpectrum& engine, float high, float low);

  // Start-up bars: exactly 1.0, the signal staying 0 until the filter bank's
  // first peak power on bar 13.
  static constexpr int kWarmupBars = 12;

  template <class Visitor>
  constexpr void VisitState(Visitor& visit) {
    visit.Doubles(&smoothedMidPrice_, 1);
    visit.Doubles(&signal_, 1);
    visit.Doubles(&noise_, 1);
    visit.Doubles(rangeWindow_, 5);
    // The held ratio is clamped, NaN included, on every bar.
    visit.NeverNaN(heldRatio_);
  }

 private:
  // Each holds the value at the end of the previous bar until this bar
  // updates it; a skipped update keeps it.
  double smoothedMidPrice_ = 0.0;
  double signal_ = 0.0;
  double noise_ = 0.0;
  // BarRange of this bar and the four before it, newest first: the look-back
  // at the inputs is kept here so that a stream needs no access to old bars.
  double rangeWindow_[5] = {};
  // The clamped ratio of the last bar, repeated by a bar that has no ratio
  // of its own.
  double heldRatio_ = 0.0;
};

}  // namespace tamsel
