// The per-bar frame behind every batch export: fresh state, the bar-count
// check, one engine step and one indicator step per bar, store as float.
#pragma once

#include "../spectrum/cycle_spectrum.hpp"

namespace tamsel {

template <class Stage>
int RunIndicatorExport(const float* high, const float* low, int count, float* out) {
  if (count < 1 || high == nullptr || low == nullptr || out == nullptr) return 0;
  CycleSpectrum engine;
  Stage stage;
  for (int i = 0; i < count; ++i) {
    engine.Step(high[i], low[i]);
    out[i] = static_cast<float>(stage.Step(engine, high[i], low[i]));
  }
  return count;
}

}  // namespace tamsel
