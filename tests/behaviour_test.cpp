// SPDX-License-Identifier: MIT
// What each indicator is documented to do, on small hand-made series: the
// start-up values, the held values after bad prices, and the sine examples.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "TamselCharts.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Bars {
  std::vector<float> high, low;
  int Count() const { return static_cast<int>(high.size()); }
};

Bars Constant(int count, float high, float low) {
  return {std::vector<float>(count, high), std::vector<float>(count, low)};
}

// Mid price level + amplitude * sin(2 pi t / period) + slope * t, bars one unit either side.
Bars Sine(int count, double period, double amplitude, double level = 100.0, double slope = 0.0) {
  Bars bars;
  for (int t = 0; t < count; ++t) {
    const double mid = level + amplitude * std::sin(2 * 3.141592653589793 * t / period) + slope * t;
    bars.high.push_back(static_cast<float>(mid + 1));
    bars.low.push_back(static_cast<float>(mid - 1));
  }
  return bars;
}

std::vector<float> Compute(IndicatorExport fn, const Bars& bars) {
  std::vector<float> out(bars.Count());
  EXPECT_EQ(fn(bars.high.data(), bars.low.data(), bars.Count(), out.data()), bars.Count());
  return out;
}

TEST(CyclePeriod, StartUpIsZeroThenEighteenUntilTheBankHasWarmedUp) {
  EXPECT_EQ(Compute(TamselChart_CyclePeriod, Constant(1, 5, 4)), std::vector<float>{0.0f});
  EXPECT_EQ(Compute(TamselChart_CyclePeriod, Constant(3, 5, 4)), (std::vector<float>{0.0f, 0.0f, 18.0f}));
  for (const Bars& bars : {Sine(40, 9, 3), Constant(40, 0, 0), Constant(40, -3, 2)}) {
    const auto out = Compute(TamselChart_CyclePeriod, bars);
    for (int i = 2; i < 14; ++i) EXPECT_EQ(out[i], 18.0f) << "bar " << i + 1;
  }
}

TEST(CyclePeriod, FollowsASineWithinOneBarAndStopsAtThirty) {
  for (double period : {8.0, 15.0, 22.0, 28.0}) {
    const auto out = Compute(TamselChart_CyclePeriod, Sine(400, period, 5));
    for (int i = 199; i < 400; ++i) ASSERT_NEAR(out[i], period, 1.0) << "period " << period << " bar " << i + 1;
  }
  // Longer cycles than the bank's longest filter settle at its top.
  const auto slow = Compute(TamselChart_CyclePeriod, Sine(400, 35, 5));
  for (int i = 199; i < 400; ++i) ASSERT_EQ(slow[i], 30.0f) << "bar " << i + 1;
}

TEST(CyclePeriod, ANaNPriceFreezesTheValue) {
  Bars bars = Sine(300, 17, 4);
  bars.high[149] = kNaN;
  const auto out = Compute(TamselChart_CyclePeriod, bars);
  for (int i = 150; i < 300; ++i) EXPECT_EQ(out[i], out[150]) << "bar " << i + 1;
  bars.low[5] = kNaN;
  const auto early = Compute(TamselChart_CyclePeriod, bars);
  for (int i = 2; i < 300; ++i) ASSERT_EQ(early[i], 18.0f) << "bar " << i + 1;
}

TEST(SignalToNoise, WritesOneUntilTheBankRunsAndWhenThereIsNoNoise) {
  const auto sine = Compute(TamselChart_SignalToNoiseRatio, Sine(100, 20, 5));
  for (int i = 0; i < 12; ++i) EXPECT_EQ(sine[i], 1.0f);
  for (const Bars& bars : {Constant(200, 7, 7), Constant(200, 0, 0)})
    for (float v : Compute(TamselChart_SignalToNoiseRatio, bars)) ASSERT_EQ(v, 1.0f);
}

TEST(SignalToNoise, SwappedHighAndLowWriteOneOnEveryBar) {
  const Bars bars = Sine(300, 20, 5);
  for (float v : Compute(TamselChart_SignalToNoiseRatio, Bars{bars.low, bars.high})) ASSERT_EQ(v, 1.0f);
}

TEST(SignalToNoise, AStrongCleanCycleSaturatesAtEleven) {
  const auto out = Compute(TamselChart_SignalToNoiseRatio, Sine(300, 20, 5));
  for (int i = 40; i < 300; ++i) ASSERT_EQ(out[i], 11.0f) << "bar " << i + 1;
}

TEST(SignalToNoise, TheRangeOfBarOneNeverCounts) {
  Bars bars = Sine(200, 14, 2);
  const auto before = Compute(TamselChart_SignalToNoiseRatio, bars);
  bars.high[0] += 10;
  bars.low[0] -= 10;
  EXPECT_EQ(Compute(TamselChart_SignalToNoiseRatio, bars), before);
}

TEST(SignalToNoise, ValuesAreOneOrTwoToTwelve) {
  for (double amplitude : {0.05, 0.3, 1.0, 3.0}) {
    for (float v : Compute(TamselChart_SignalToNoiseRatio, Sine(400, 13, amplitude))) {
      ASSERT_TRUE(v == 1.0f || (v >= 2.0f && v <= 12.0f)) << v;
    }
  }
}

TEST(SwingPosition, FirstBarTakesTheSignOfThePrice) {
  EXPECT_EQ(Compute(TamselChart_SwingPosition, Constant(1, 101, 99)), std::vector<float>{5.0f});
  EXPECT_EQ(Compute(TamselChart_SwingPosition, Constant(1, -10, -10)), std::vector<float>{-5.0f});
}

TEST(SwingPosition, AConstantPriceRingsThroughTheWholeRange) {
  const auto out = Compute(TamselChart_SwingPosition, Constant(300, 101, 99));
  const double want[] = {5.0, 5.0, 5.0, 2.533944, -0.643733, -4.114666, -5.0, -5.0};
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(out[i], want[i], 5e-7) << "bar " << i + 1;
  for (float v : out) ASSERT_TRUE(v >= -5.0f && v <= 5.0f);
}

TEST(SwingPosition, ZeroRangeWritesNaN) {
  for (float v : Compute(TamselChart_SwingPosition, Constant(100, 0, 0))) ASSERT_TRUE(std::isnan(v));
  Bars bars = Constant(10, 1, 1);
  for (int i = 0; i < 3; ++i) bars.high[i] = bars.low[i] = 0;
  const auto out = Compute(TamselChart_SwingPosition, bars);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::isnan(out[i])) << "bar " << i + 1;
  EXPECT_EQ(out[3], 5.0f);
  EXPECT_EQ(out[4], 5.0f);
}

TEST(SwingPosition, PeaksThreeBarsBeforeTheSine) {
  const auto out = Compute(TamselChart_SwingPosition, Sine(300, 20, 5));
  for (int bar : {203, 223, 243, 263, 283}) EXPECT_EQ(out[bar - 1], 5.0f) << "bar " << bar;
  for (int bar : {213, 233, 253, 273, 293}) EXPECT_EQ(out[bar - 1], -5.0f) << "bar " << bar;
}

TEST(SwingPosition, ANaNPriceMakesEveryLaterValueNaN) {
  Bars bars = Sine(200, 20, 5);
  bars.low[120] = kNaN;
  const auto out = Compute(TamselChart_SwingPosition, bars);
  for (int i = 120; i < 200; ++i) ASSERT_TRUE(std::isnan(out[i]));
}

TEST(TrendVigor, FirstBarOfAnyPositivePrice) {
  for (float price : {100.0f, 0.5f, 3e6f}) {
    EXPECT_NEAR(Compute(TamselChart_TrendVigor, Constant(1, price, price))[0], 2.509373, 5e-7);
    EXPECT_NEAR(Compute(TamselChart_TrendVigor, Constant(1, -price, -price))[0], -2.509373, 5e-7);
  }
  EXPECT_EQ(Compute(TamselChart_TrendVigor, Constant(1, 0, 0))[0], 0.0f);
}

TEST(TrendVigor, AConstantPriceClimbsWhileTheLookBackReachesBeforeBarOne) {
  const auto out = Compute(TamselChart_TrendVigor, Constant(40, 101, 99));
  const double want[] = {2.509373, 3.340077, 3.360186, 3.436132, 3.561123, 3.716407, 3.873830,
                         4.008655, 4.113372, 4.199903, 4.291255, 4.411292, 4.576407, 4.788327};
  for (int i = 0; i < 14; ++i) EXPECT_NEAR(out[i], want[i], 5e-7) << "bar " << i + 1;
}

TEST(TrendVigor, ANaNPriceHoldsTheLastValue) {
  Bars bars = Sine(200, 20, 3, 100, 0.2);
  bars.high[90] = kNaN;
  const auto out = Compute(TamselChart_TrendVigor, bars);
  for (int i = 90; i < 200; ++i) ASSERT_EQ(out[i], out[89]) << "bar " << i + 1;
  bars.high[0] = kNaN;
  for (float v : Compute(TamselChart_TrendVigor, bars)) ASSERT_EQ(v, 0.0f);
}

TEST(TrendVigor, OscillationStaysNearZeroAndTrendsLeanOrSaturate) {
  const auto flat = Compute(TamselChart_TrendVigor, Sine(400, 20, 3));
  const auto up = Compute(TamselChart_TrendVigor, Sine(400, 20, 3, 100, 0.5));
  const auto down = Compute(TamselChart_TrendVigor, Sine(400, 20, 3, 300, -0.5));
  const auto line = Compute(TamselChart_TrendVigor, Sine(400, 20, 0, 100, 0.5));
  const auto fall = Compute(TamselChart_TrendVigor, Sine(400, 20, 0, 300, -0.5));
  for (int i = 200; i < 400; ++i) {
    ASSERT_NEAR(flat[i], 0.0, 0.3) << "bar " << i + 1;
    ASSERT_TRUE(up[i] >= 2.8f && up[i] <= 3.7f) << "bar " << i + 1 << ": " << up[i];
    ASSERT_TRUE(down[i] >= -3.6f && down[i] <= -2.8f) << "bar " << i + 1 << ": " << down[i];
    ASSERT_EQ(line[i], 10.0f);
    ASSERT_EQ(fall[i], -10.0f);
  }
}

}  // namespace
