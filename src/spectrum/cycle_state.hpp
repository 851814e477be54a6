// SPDX-License-Identifier: MIT
// The engine's share of a call's working state: plain data, zero at the
// start of a series, copied whole when a stream is cloned or peeked.
#pragma once

#include <cstdint>

#include "filter_bank_coefficients.hpp"

namespace tamsel {

struct CycleState {
  // The bar being processed, 1 on the first bar; 0 before any bar.
  std::int32_t BarNumber;

  // Histories: element 0 this bar, element k the value k bars ago.
  double MidPrice[2];
  double HighPass[6];
  double SmoothedHighPass[2];

  // The filter bank's records.  Every filter takes the same SmoothedHighPass
  // as its in-phase input and a fixed multiple of the same one-bar change as
  // its quadrature input, so those inputs are kept once, as the bank saw them
  // one and two bank bars back, instead of once per filter.
  double InPhaseInput[2];
  double InputChange[2];
  // Outputs one and two bank bars back.  The two slots of each record swap
  // roles every bank bar (RecordSlot names the slot that holds one bar back),
  // so advancing a record writes nothing but the new value.
  std::int32_t RecordSlot;
  alignas(64) double InPhase[2][kFilterLanes];
  alignas(64) double Quadrature[2][kFilterLanes];
  alignas(64) double BandPower[kFilterLanes];
  alignas(64) double BandDecibels[kFilterLanes];
  double PeakPower;

  // Only the five newest dominant cycles are ever read, by the median.
  double DominantCycle[5];
  double SmoothedDominantCycle;
};

}  // namespace tamsel
