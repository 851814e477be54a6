// SPDX-License-Identifier: MIT
// The tabulated filter-bank coefficients are exactly what the design formulas
// give with the library's correctly rounded cos, sin and pow(x, 0.5).
#include <gtest/gtest.h>

#include "spectrum/filter_bank_coefficients.hpp"

namespace tamsel {
namespace {

TEST(Coefficients, TablesEqualTheDesignFormulas) {
  for (int schedule = 0; schedule < design::kBandwidthSchedules; ++schedule) {
    const double bandwidth = design::BandwidthDelta(design::kFirstBankBar + schedule);
    for (int n = design::kFirstFilterIndex; n <= design::kLastFilterIndex; ++n) {
      const auto c = design::BankFilter(n, bandwidth);
      const int lane = n - design::kFirstFilterIndex;
      EXPECT_EQ(kBankCoefficients[schedule].InputGain[lane], c.InputGain) << "filter " << n;
      EXPECT_EQ(kBankCoefficients[schedule].Resonance[lane], c.Resonance) << "filter " << n;
      EXPECT_EQ(kBankCoefficients[schedule].Damping[lane], c.Damping) << "filter " << n;
      EXPECT_EQ(kQuadratureScale[lane], design::QuadratureScale(n));
      EXPECT_EQ(kFilterIndexValue[lane], n);
    }
  }
  EXPECT_EQ(kHighPassAlpha, design::HighPassAlpha());
}

TEST(Coefficients, BandwidthSchedule) {
  EXPECT_EQ(design::BandwidthDelta(13), 0.5 - 0.015 * 13);
  EXPECT_NEAR(design::BandwidthDelta(13), 0.305, 1e-15);
  EXPECT_NEAR(design::BandwidthDelta(26), 0.11, 1e-15);
  EXPECT_EQ(design::BandwidthDelta(27), 0.1);
  EXPECT_EQ(design::BandwidthDelta(1000000), 0.1);
}

}  // namespace
}  // namespace tamsel
