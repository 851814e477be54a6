// A two-pole band-pass of the mid price whose centre period is re-tuned on
// every bar to the measured cycle, with a lead term that is its one-bar change
// scaled by the period: about the band-pass's amplitude, a quarter cycle ahead.
//
// It runs from the first bar with no start-up gate: bars 1 and 2 feed it the
// full price level (the mid price two bars back is still 0), a step that it
// rings out over many bars.  That ringing is part of the indicators' output.
#pragma once

namespace tamsel {

class TunedBandPass {
 public:
  // Periods below lowerLimit (or NaN) are raised to it; periods at or above
  // upperLimit are lowered to it.  Pass no upper limit for an open range.
  explicit constexpr TunedBandPass(double lowerLimit, double upperLimit = kNoUpperLimit)
      : lowerLimit_(lowerLimit), upperLimit_(upperLimit) {}

  // One bar: the smoothed dominant cycle, this bar's mid price and the mid
  // price of two bars ago (0.0 on bars 1 and 2).
  void Step(double smoothedDominantCycle, double midPrice, double midPriceTwoBarsAgo);

  double TunedPeriod() const { return period_; }
  double Value() const { return record_[0]; }
  double PreviousValue() const { return record_[1]; }
  double TunedLead() const { return lead_; }

  static constexpr double kNoUpperLimit = -1.0;

 private:
  double lowerLimit_;
  double upperLimit_;
  double record_[3] = {};  // this bar, one and two bars ago
  double period_ = 0.0;
  double lead_ = 0.0;
  // The coefficients of the last tuning: the measured cycle is a median and
  // often stands still for several bars, and re-tuning to the same period
  // gives the same coefficients.  0.0 is never a tuned period.
  double tunedFor_ = 0.0;
  double alpha_ = 0.0;
  double beta_ = 0.0;
};

}  // namespace tamsel
