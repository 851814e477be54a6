// SPDX-License-Identifier: MIT
// A two-pole band-pass of the mid price whose centre period is re-tuned on
// every bar to the measured cycle, with a lead term that is its one-bar change
// scaled by the period: about the band-pass's amplitude, a quarter cycle ahead.
//
// It runs from the first bar with no start-up gate: bars 1 and 2 feed it the
// full price level (the mid price two bars back is still 0), a step that it
// rings out over many bars.  That ringing is part of the indicators' output.
#pragma once

namespace tamsel {

// The coefficients of the band-pass for one period: they depend on the period
// alone, so every band-pass that runs on the same engine shares one cache
// (CycleSpectrum::Tuning): the swing position and the trend vigor see the same
// period whenever the measured cycle lies within both stages' limits, and the
// measured cycle, a median, often stands still for several bars.
struct BandPassTuning {
  double period = 0.0;  // the period tuned for; 0.0 is never a tuned period
  double alpha = 0.0;
  double beta = 0.0;
};

// The coefficients for one period (6 or more), computed afresh.
BandPassTuning TuneBandPass(double period);

class TunedBandPass {
 public:
  // Periods below lowerLimit (or NaN) are raised to it; periods at or above
  // upperLimit are lowered to it.  Pass no upper limit for an open range.
  explicit constexpr TunedBandPass(double lowerLimit, double upperLimit = kNoUpperLimit)
      : lowerLimit_(lowerLimit), upperLimit_(upperLimit) {}

  // One bar: the smoothed dominant cycle, this bar's mid price and the mid
  // price of two bars ago (0.0 on bars 1 and 2), with the engine's cache of
  // coefficients.
  void Step(double smoothedDominantCycle, double midPrice, double midPriceTwoBarsAgo, BandPassTuning& tuning);

  double TunedPeriod() const { return period_; }
  double Value() const { return record_[0]; }
  double TunedLead() const { return lead_; }

  static constexpr double kNoUpperLimit = -1.0;

  // The filter's own state for a snapshot; the limits are the owner's
  // constants.  A tuned period is never NaN (a NaN cycle takes the lower
  // limit).
  template <class Visitor>
  constexpr void VisitState(Visitor& visit) {
    visit.Doubles(record_, 3);
    visit.NeverNaN(period_);
    visit.Doubles(&lead_, 1);
  }

 private:
  double lowerLimit_;
  double upperLimit_;
  double record_[3] = {};  // this bar, one and two bars ago
  double period_ = 0.0;
  double lead_ = 0.0;
};

}  // namespace tamsel
