// SPDX-License-Identifier: MIT
#include "swing_position.hpp"

#include <cstring>

namespace tamsel {

namespace {

struct WindowExtremes {
  double high;
  double low;
};

// The highest and lowest numbers of the window (-inf and +inf where it holds
// none): strict comparisons from the infinities, so a NaN is never an
// extreme and the extremes are the same in any order.  Four running extremes
// in two pairs of lanes take the window (pairs compile to single max/min
// instructions where scalar choices would branch, as in WebAssembly).
WindowExtremes NumbersOf(const double (&window)[SwingPositionStage::kWindow]) {
  constexpr int kWindow = SwingPositionStage::kWindow;
  constexpr double kInfinity = __builtin_inf();
  using Pair = double __attribute__((vector_size(16)));
  Pair high[2] = {{-kInfinity, -kInfinity}, {-kInfinity, -kInfinity}};
  Pair low[2] = {{kInfinity, kInfinity}, {kInfinity, kInfinity}};
  constexpr int kPaired = kWindow - kWindow % 4;
  for (int k = 0; k < kPaired; k += 4) {
    for (int j = 0; j < 2; ++j) {
      Pair v;
      std::memcpy(&v, &window[k + 2 * j], sizeof v);
      high[j] = v > high[j] ? v : high[j];
      low[j] = v < low[j] ? v : low[j];
    }
  }
  WindowExtremes extremes{-kInfinity, kInfinity};
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
  const double leaving = lead60_[newest_];
  lead60_[newest_] = lead60;

  // The window's extremes, NaNs aside, follow from last bar's unless the
  // value leaving was one of them: then the window is scanned again (on
  // about one bar in 12 of a random walk).
  if (extremesKnown_ && !(leaving == windowHigh_) && !(leaving == windowLow_)) {
    windowHigh_ = lead60 > windowHigh_ ? lead60 : windowHigh_;
    windowLow_ = lead60 < windowLow_ ? lead60 : windowLow_;
  } else {
    const WindowExtremes numbers = NumbersOf(lead60_);
    windowHigh_ = numbers.high;
    windowLow_ = numbers.low;
    extremesKnown_ = true;
  }
  // The scan of the window from this bar's value: a NaN this bar is both
  // extremes, and otherwise they are the window's numbers, which include
  // this bar's.  (Where a +0 and a -0 tie, the two ways may keep different
  // zeros; the fraction below comes out the same with either.)
  const bool measured = lead60 == lead60;
  const double lead60High = measured ? windowHigh_ : lead60;
  const double lead60Low = measured ? windowLow_ : lead60;

  // No guard: a window whose values are all equal divides 0 by 0 and the bar
  // writes NaN, which hosts see as "no swing to place the price in".
  const double swingFraction = (lead60 - lead60Low) / (lead60High - lead60Low);
  return 10 * swingFraction - 5;
}

}  // namespace tamsel
