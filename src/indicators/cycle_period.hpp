// SPDX-License-Identifier: MIT
// Cycle period: the engine's smoothed dominant cycle, unchanged.
#pragma once

#include "../spectrum/cycle_spectrum.hpp"

namespace tamsel {

struct CyclePeriodStage {
  double Step(const CycleSpectrum& engine, float /*high*/, float /*low*/) { return engine.SmoothedDominantCycle(); }
};

}  // namespace tamsel
