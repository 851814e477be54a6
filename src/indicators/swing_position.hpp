// SPDX-License-Identifier: MIT
// Swing position: where the tuned band-pass, advanced by about sixty degrees
// of the cycle, stands between its lowest and highest values of the last 51
// bars, from -5 (bottom) to +5 (top).
#pragma once

#include "../spectrum/cycle_spectrum.hpp"
#include "../spectrum/tuned_band_pass.hpp"

namespace tamsel {

class SwingPositionStage {
 public:
  double Step(const CycleSpectrum& engine, float high, float low);

  static constexpr int kWindow = 51;
  // Start-up bars: the window still holds some of the 0.0 values it starts
  // with, from before bar 1.
  static constexpr int kWarmupBars = kWindow - 1;

  template <class Visitor>
  constexpr void VisitState(Visitor& visit) {
    visit.Doubles(midPrice_, 3);
    bandPass_.VisitState(visit);
    visit.Doubles(lead60_, kWindow);
    visit.Position(newest_, kWindow);
    visit.Derived(extremesKnown_);
  }

 private:
  double midPrice_[3] = {};  // this bar, one and two bars ago
  TunedBandPass bandPass_{6.0};
  // The window of Lead60 values in arrival order, oldest overwritten first;
  // the extremes of a window do not depend on the order it is scanned in.
  double lead60_[kWindow] = {};
  int newest_ = kWindow - 1;
  // The highest and lowest numbers of the window, kept from bar to bar.
  // They follow from the window, so they are never saved: a visitor that
  // may write the window marks them unknown, and the next bar scans it.
  double windowHigh_ = 0;
  double windowLow_ = 0;
  bool extremesKnown_ = false;
};

}  // namespace tamsel
