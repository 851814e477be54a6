// SPDX-License-Identifier: MIT
// The cycle spectrum engine: one step per bar turns the bar's high and low
// into the mid price, the detrended and smoothed price, the 49-filter decibel
// spectrum, its peak power and the dominant cycle with its five-bar median.
//
// A value type over plain data: a default-constructed engine is the state at
// the start of a series, and a copy continues exactly as the original.
#pragma once

#include "cycle_state.hpp"
#include "tuned_band_pass.hpp"

namespace tamsel {

class CycleSpectrum {
 public:
  // Runs the engine on the next bar.  Histories move one bar back first, so
  // after the step element 0 of every history is this bar's value.
  void Step(float high, float low);

  std::int32_t BarNumber() const { return state_.BarNumber; }
  double MidPrice() const { return state_.MidPrice[0]; }
  double PeakPower() const { return state_.PeakPower; }
  double SmoothedDominantCycle() const { return state_.SmoothedDominantCycle; }

  // The coefficient cache of the band-passes that run on this engine: a
  // cache only, never a result, so it may change through a const engine.
  BandPassTuning& Tuning() const { return tuning_; }

 private:
  CycleState state_{};
  mutable BandPassTuning tuning_;
};

}  // namespace tamsel
