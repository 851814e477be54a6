// SPDX-License-Identifier: MIT
#include "trend_vigor.hpp"

#include <cmath>

#include "../spectrum/runtime_math.hpp"

namespace tamsel {

double TrendVigorStage::Step(const CycleSpectrum& engine, float, float) {
  newest_ = (newest_ + 1) & (kRingLength - 1);
  midPriceHistory_[newest_] = engine.MidPrice();
  bandPass_.Step(engine.SmoothedDominantCycle(), MidPriceAgo(0), MidPriceAgo(2), engine.Tuning());

  const double bandPass = bandPass_.Value();
  const double lead = bandPass_.TunedLead();
  const double tunedAmplitude = math::PowHalf(bandPass * bandPass + lead * lead);
  // The tuned period lies in 6..1000, so the look-back index lies in 5..999.
  const int k = static_cast<int>(bandPass_.TunedPeriod()) - 1;
  const double cycleTrend = MidPriceAgo(0) - MidPriceAgo(k);

  // No change over the cycle, or no amplitude to measure it in (NaN counting
  // as zero), holds the ratio: the bar repeats the previous value.
  const bool trendNonZero = cycleTrend != 0 && !std::isnan(cycleTrend);
  const bool amplitudeNonZero = tunedAmplitude != 0 && !std::isnan(tunedAmplitude);
  if (trendNonZero && amplitudeNonZero) vigorRatio_ = (cycleTrend * 0.33) / tunedAmplitude + vigorRatio_ * 0.67;
  if (vigorRatio_ > 10.0)
    vigorRatio_ = 10.0;
  else if (vigorRatio_ < -10.0 || std::isnan(vigorRatio_))
    vigorRatio_ = -10.0;

  // The scaling is the identity up to rounding, and it is rounded as written.
  return ((vigorRatio_ + 10.0) * 0.05) * 20.0 - 10.0;
}

}  // namespace tamsel
