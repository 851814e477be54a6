// SPDX-License-Identifier: MIT
#include "cycle_spectrum.hpp"

#include <cstdint>

#include "../api/window_median.hpp"
#include "spectrum_kernel.hpp"

namespace tamsel {
namespace {

// The end-of-bar shift of a history: element 0 keeps its value, so a stage
// that does not write element 0 on the next bar holds the value it had.
template <int N>
void ShiftHistory(double (&history)[N]) {
  for (int k = N - 1; k >= 1; --k) history[k] = history[k - 1];
}

}  // namespace

void CycleSpectrum::Step(float high, float low) {
  CycleState& s = state_;
  ShiftHistory(s.MidPrice);
  ShiftHistory(s.HighPass);
  ShiftHistory(s.SmoothedHighPass);
  ShiftHistory(s.DominantCycle);
  // The bar number only steers the start-up rules of the first 27 bars; a
  // stream that outlives the 32-bit count stays at its last value.
  if (s.BarNumber < INT32_MAX) ++s.BarNumber;
  const std::int32_t b = s.BarNumber;

  s.MidPrice[0] = (static_cast<double>(high) + static_cast<double>(low)) * 0.5;
  // The high-pass runs from bar 1, so the first bar's price level enters as a
  // step that decays by HighPassAlpha per bar.
  s.HighPass[0] = (1 + kHighPassAlpha) * (s.MidPrice[0] - s.MidPrice[1]) * 0.5 + kHighPassAlpha * s.HighPass[1];
  s.SmoothedHighPass[0] =
      (s.HighPass[0] + 2 * s.HighPass[1] + 3 * s.HighPass[2] + 3 * s.HighPass[3] + 2 * s.HighPass[4] + s.HighPass[5]) *
      0.08333333333333333;
  // Until the six-tap smoother has six real bars it passes the bar's change.
  if (b < 7) s.SmoothedHighPass[0] = s.MidPrice[0] - s.MidPrice[1];
  if (b == 1) s.SmoothedHighPass[0] = 0.0;

  ActiveSpectrumTarget().Kernel(s);
  s.SmoothedDominantCycle = WindowMedian(s.DominantCycle, 5);
}

}  // namespace tamsel
