// SPDX-License-Identifier: MIT
#include "tuned_band_pass.hpp"

#include "runtime_math.hpp"

namespace tamsel {

BandPassTuning TuneBandPass(double period) {
  BandPassTuning tuning;
  // A fixed bandwidth of 0.1: the 1.2566... is 4 pi times it.
  const double gamma = 1 / math::Cos(1.2566370614359172 / period);
  tuning.alpha = gamma - math::PowHalf(gamma * gamma - 1);
  tuning.beta = math::Cos(6.283185307179586 / period);
  tuning.period = period;
  return tuning;
}

void TunedBandPass::Step(double smoothedDominantCycle, double midPrice, double midPriceTwoBarsAgo,
                         BandPassTuning& tuning) {
  record_[2] = record_[1];
  record_[1] = record_[0];

  double period = smoothedDominantCycle;
  if (!(period >= lowerLimit_))
    period = lowerLimit_;
  else if (upperLimit_ != kNoUpperLimit && !(period < upperLimit_))
    period = upperLimit_;
  period_ = period;

  if (period != tuning.period) tuning = TuneBandPass(period);
  const double alpha = tuning.alpha;
  const double beta = tuning.beta;
  record_[0] = ((beta * (1 + alpha)) * record_[1]) + (((midPrice - midPriceTwoBarsAgo) * (1 - alpha)) * 0.5) -
               record_[2] * alpha;
  // 0.15915507752443828 is 1 / (2 x 3.14159), pi rounded as the indicator has
  // always used it.
  lead_ = (record_[0] - record_[1]) * (period * 0.15915507752443828);
}

}  // namespace tamsel
