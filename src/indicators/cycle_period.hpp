// SPDX-License-Identifier: MIT
// Cycle period: the engine's smoothed dominant cycle, unchanged.
#pragma once

#include "../spectrum/cycle_spectrum.hpp"

namespace tamsel {

struct CyclePeriodStage {
  // Start-up bars: 0 on bars 1 and 2, then exactly 18 through bar 14, while
  // the five-bar median still holds dominant cycles from before the filter
  // bank's first bar (13).
  static constexpr int kWarmupBars = 14;

  double Step(const CycleSpectrum& engine, float /*high*/, float /*low*/) { return engine.SmoothedDominantCycle(); }
};

}  // namespace tamsel
