// SPDX-License-Identifier: MIT
// The cycle spectrum engine: one step per bar turns the bar's high and low
// into the mid price, the detrended and smoothed price, the 49-filter decibel
// spectrum, its peak power and the dominant cycle with its five-bar median.
//
// A value type over plain data: a default-constructed engine is the state at
// the start of a series, and a copy continues exactly as the original.
#pragma once

#include "cycle_state.hpp"
#include "filter_bank_design.hpp"
#include "tuned_band_pass.hpp"

namespace tamsel {

class CycleSpectrum {
 public:
  // Runs the engine on the next bar.  Histories move one bar back first, so
  // after the step element 0 of every history is this bar's value.
  void Step(float high, float low);

  std::int32_t BarNumber() const { return state_.BarNumber; }
  double MidPrice() const { return state_.MidPrice[0]; }
  double PeakPower() const { return state_.PeakPower; }
  double SmoothedDominantCycle() const { return state_.SmoothedDominantCycle; }

  // The coefficient cache of the band-passes that run on this engine: a
  // cache only, never a result, so it may change through a const engine.
  BandPassTuning& Tuning() const { return tuning_; }

  // Every value that decides the engine's future, in a fixed order, for a
  // snapshot (see api/stream_snapshot.cpp).  The bar number is the
  // snapshot's own field; the coefficient cache is not state, and the
  // filters' padding lanes hold nothing any result reads.
  template <class Visitor>
  constexpr void VisitState(Visitor& visit) {
    CycleState& s = state_;
    visit.Doubles(s.MidPrice, 2);
    visit.Doubles(s.HighPass, 6);
    visit.Doubles(s.SmoothedHighPass, 2);
    visit.Doubles(s.InPhaseInput, 2);
    visit.Doubles(s.InputChange, 2);
    visit.Position(s.RecordSlot, 2);
    for (auto& record : s.InPhase) visit.Doubles(record, design::kFilterCount);
    for (auto& record : s.Quadrature) visit.Doubles(record, design::kFilterCount);
    visit.Doubles(s.BandPower, design::kFilterCount);
    visit.Doubles(s.BandDecibels, design::kFilterCount);
    visit.Doubles(&s.PeakPower, 1);
    visit.Doubles(s.DominantCycle, 5);
    visit.Doubles(&s.SmoothedDominantCycle, 1);
    tuning_ = BandPassTuning{};
  }
  std::int32_t& BarNumberState() { return state_.BarNumber; }

 private:
  CycleState state_{};
  mutable BandPassTuning tuning_;
};

}  // namespace tamsel
