// SPDX-License-Identifier: MIT
#include "swing_position.hpp"

#include <cstring>

namespace tamsel {

namespace {

struct WindowExtremes {
  double high;
  double low;
};

// The highest and lowest values of the window, from this bar's value on.
// Strict comparisons starting from this bar's value: a NaN elsewhere in the
// window is never an extreme, and a NaN this bar makes the output NaN.
// With strict comparisons and a non-NaN start the extremes are the same in
// any order, so four running extremes in two pairs of lanes take the window
// (pairs compile to single max/min instructions where scalar choices would
// branch, as in WebAssembly).
WindowExtremes ExtremesOf(const double (&window)[SwingPositionStage::kWindow], double start) {
  constexpr int kWindow = SwingPositionStage::kWindow;
  using Pair = double __attribute__((vector_size(16)));
  const Pair both = {start, start};
  Pair high[2] = {both, both};
  Pair low[2] = {both, both};
  constexpr int kPaired = kWindow - kWindow % 4;
  for (int k = 0; k < kPaired; k += 4) {
    for (int j = 0; j < 2; ++j) {
      Pair v;
      std::memcpy(&v, &window[k + 2 * j], sizeof v);
      high[j] = v > high[j] ? v : high[j];
      low[j] = v < low[j] ? v : low[j];
    }
  }
  WindowExtremes extremes{start, start};
  for (int k = kPaired; k < kWindow; ++k) {
    const double v = window[k];
    extremes.high = v > extremes.high ? v : extremes.high;
    extremes.low = v < extremes.low ? v : extremes.low;
  }
  for (int j = 0; j < 2; ++j) {
    for (int lane = 0; lane < 2; ++lane) {
      extremes.high = high[j][lane] > extremes.high ? high[j][lane] : extremes.high;
      extremes.low = low[j][lane] < extremes.low ? low[j][lane] : extremes.low;
    }
  }
  return extremes;
}

}  // namespace

double SwingPositionStage::Step(const CycleSpectrum& engine, float, float) {
  midPrice_[2] = midPrice_[1];
  midPrice_[1] = midPrice_[0];
  midPrice_[0] = engine.MidPrice();
  bandPass_.Step(engine.SmoothedDominantCycle(), midPrice_[0], midPrice_[2], engine.Tuning());

  // 0.866 as the indicator has always stored it, not the exact sin 60.
  const double lead60 = (bandPass_.TunedLead() * 0.866) + (bandPass_.Value() * 0.5);
  newest_ = newest_ + 1 == kWindow ? 0 : newest_ + 1;
  lead60_[newest_] = lead60;

  const WindowExtremes extremes = ExtremesOf(lead60_, lead60);
  const double lead60High = extremes.high;
  const double lead60Low = extremes.low;

  // No guard: a window whose values are all equal divides 0 by 0 and the bar
  // writes NaN, which hosts see as "no swing to place the price in".
  const double swingFraction = (lead60 - lead60Low) / (lead60High - lead60Low);
  return 10 * swingFraction - 5;
}

}  // namespace tamsel
