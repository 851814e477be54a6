// SPDX-License-Identifier: MIT
// The filter bank's coefficients, generated once from the design formulas by
// tools/generate_coefficients and checked against them in the tests.
//
// Tabulating them keeps cos and pow out of the per-bar loop.
#pragma once

#include "filter_bank_design.hpp"

namespace tamsel {

// Per-filter arrays are padded past the 49 filters to a multiple of the
// widest vector; the padding lanes carry zero coefficients and stay zero.
inline constexpr int kFilterLanes = 56;

struct BankCoefficients {
  alignas(64) double InputGain[kFilterLanes];
  alignas(64) double Resonance[kFilterLanes];
  alignas(64) double Damping[kFilterLanes];
};

// Index 0 serves bar 13, index 13 bar 26 and index 14 every bar from 27 on.
extern const BankCoefficients kBankCoefficients[design::kBandwidthSchedules];
alignas(64) extern const double kQuadratureScale[kFilterLanes];
alignas(64) extern const double kFilterIndexValue[kFilterLanes];
extern const double kHighPassAlpha;

}  // namespace tamsel
