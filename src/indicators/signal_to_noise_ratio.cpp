// SPDX-License-Identifier: MIT
#include "signal_to_noise_ratio.hpp"

#include <cmath>

#include "../api/window_median.hpp"
#include "../spectrum/runtime_math.hpp"

namespace tamsel {
namespace {

constexpr double kLn10 = 2.302585092994046;

// The indicator's zero tests count a NaN as zero.
bool IsNonZero(double x) { return x != 0 && !std::isnan(x); }

}  // namespace

double SignalToNoiseStage::Step(const CycleSpectrum& engine, float high, float low) {
  for (int k = 4; k >= 1; --k) rangeWindow_[k] = rangeWindow_[k - 1];
  // High minus low as given: with the arguments swapped the ranges are
  // negative, the ratio has no logarithm and the bar writes 1.0.
  rangeWindow_[0] = static_cast<double>(high) - static_cast<double>(low);

  smoothedMidPrice_ = 0.1 * engine.MidPrice() + 0.9 * smoothedMidPrice_;
  if (IsNonZero(smoothedMidPrice_)) {
    const double peakPower = engine.PeakPower();
    // 0.2 and 0.9 sum to 1.1: a steady peak power settles the signal at
    // twice its amplitude, and the decibel offset is tuned to that.
    if (peakPower > 0) signal_ = 0.2 * math::PowHalf(peakPower) + 0.9 * signal_;
    // The first window, on bar 6, covers bars 2 to 6: bar 1 never counts.
    if (engine.BarNumber() > 5) noise_ = 0.1 * WindowMedian(rangeWindow_, 5) + 0.9 * noise_;
  }

  double ratio = heldRatio_;
  if (IsNonZero(signal_) && IsNonZero(noise_)) ratio = 20 * math::Log(signal_ / noise_) / kLn10 + 3.5;
  // Below 1 (or NaN) drops to 0, above 11 to 10: the written scale has no
  // values between 1 and 2 and the saturated value sits below the top.
  if (!(ratio >= 1))
    ratio = 0;
  else if (ratio > 11)
    ratio = 10;
  heldRatio_ = ratio;
  const double scaledRatio = 0.1 * ratio;
  return 10 * scaledRatio + 1;
}

}  // namespace tamsel
