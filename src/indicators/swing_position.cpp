// SPDX-License-Identifier: MIT
#include "swing_position.hpp"

namespace tamsel {

double SwingPositionStage::Step(const CycleSpectrum& engine, float, float) {
  midPrice_[2] = midPrice_[1];
  midPrice_[1] = midPrice_[0];
  midPrice_[0] = engine.MidPrice();
  bandPass_.Step(engine.SmoothedDominantCycle(), midPrice_[0], midPrice_[2], engine.Tuning());

  // 0.866 as the indicator has always stored it, not the exact sin 60.
  const double lead60 = (bandPass_.TunedLead() * 0.866) + (bandPass_.Value() * 0.5);
  newest_ = newest_ + 1 == kWindow ? 0 : newest_ + 1;
  lead60_[newest_] = lead60;

  // Strict comparisons starting from this bar's value: a NaN elsewhere in the
  // window is never an extreme, and a NaN this bar makes the output NaN.
  // Four running extremes shorten the dependency chains; with strict
  // comparisons and a non-NaN start the extremes are the same in any order.
  double high[4] = {lead60, lead60, lead60, lead60};
  double low[4] = {lead60, lead60, lead60, lead60};
  for (int k = 0; k + 4 <= kWindow; k += 4) {
    for (int j = 0; j < 4; ++j) {
      const double v = lead60_[k + j];
      high[j] = v > high[j] ? v : high[j];
      low[j] = v < low[j] ? v : low[j];
    }
  }
  for (int k = kWindow - kWindow % 4; k < kWindow; ++k) {
    const double v = lead60_[k];
    high[0] = v > high[0] ? v : high[0];
    low[0] = v < low[0] ? v : low[0];
  }
  double lead60High = high[0];
  double lead60Low = low[0];
  for (int j = 1; j < 4; ++j) {
    lead60High = high[j] > lead60High ? high[j] : lead60High;
    lead60Low = low[j] < lead60Low ? low[j] : lead60Low;
  }

  // No guard: a window whose values are all equal divides 0 by 0 and the bar
  // writes NaN, which hosts see as "no swing to place the price in".
  const double swingFraction = (lead60 - lead60Low) / (lead60High - lead60Low);
  return 10 * swingFraction - 5;
}

}  // namespace tamsel
