// SPDX-License-Identifier: MIT
// How the engine's fixed filters are designed from their constants.
//
// These formulas run in the coefficient generator and in the tests that check
// the generated tables, with the library's own correctly rounded cos, pow and
// sin; the engine itself reads the generated tables.  Keeping the design
// in one place means the tables can only ever be a cached copy of these lines.
#pragma once

#include "runtime_math.hpp"

namespace tamsel::design {

// Filter n of the bank is tuned to a period of n / 2 bars.
inline constexpr int kFirstFilterIndex = 12;
inline constexpr int kLastFilterIndex = 60;
inline constexpr int kFilterCount = kLastFilterIndex - kFirstFilterIndex + 1;

// The bank's bandwidth narrows bar by bar from bar 13 and stays at its floor
// from bar 27 on, so the bank only ever sees fifteen sets of coefficients.
inline constexpr int kFirstBankBar = 13;
inline constexpr int kFirstSteadyBar = 27;
inline constexpr int kBandwidthSchedules = kFirstSteadyBar - kFirstBankBar + 1;

inline double BandwidthDelta(int barNumber) {
  double delta = 0.5 - 0.015 * barNumber;
  if (delta < 0.1) delta = 0.1;
  return delta;
}

// The two-pole band-pass of filter n under a bandwidth, in the grouping the
// filter update uses: InputGain = 0.5 x (1 - alpha), Resonance = beta x
// (1 + alpha), Damping = alpha.
struct BandPassCoefficients {
  double InputGain;
  double Resonance;
  double Damping;
};

inline BandPassCoefficients BankFilter(int n, double bandwidthDelta) {
  const double w = bandwidthDelta * 25.132741228718345;
  const double beta = math::Cos(12.566370614359172 / n);
  const double gamma = 1 / math::Cos(w / n);
  const double alpha = gamma - math::PowHalf(gamma * gamma - 1);
  return {0.5 * (1 - alpha), beta * (1 + alpha), alpha};
}

// The quadrature input of filter n is the one-bar change scaled by
// n / (4 x 3.14159), with pi rounded as the indicator has always used it.
inline double QuadratureScale(int n) { return n * 0.07957753876221914; }

// The detrending high-pass has a 12-degree cut-off.
inline double HighPassAlpha() {
  const double t = 0.20943951023931956;
  return (1 - math::Sin(t)) / math::Cos(t);
}

}  // namespace tamsel::design
