// SPDX-License-Identifier: MIT
// The C++ wrapper: same numbers as the C calls, clear errors for misuse, and
// a stream whose copies continue independently.
#include <gtest/gtest.h>

#include "TamselCharts.hpp"
#include "support/generated_series.hpp"
#include "support/golden_file.hpp"

namespace tamsel::testing {
namespace {

TEST(CppWrapper, FunctionsMatchTheCCalls) {
  const Series s = Cycle("cycle", 51, 400, 15.0, 80.0, 3.0, 0.3);
  const IndicatorSeries all = AllIndicators(s.high, s.low);
  std::vector<float> c(s.high.size());
  TamselChart_TrendVigor(s.high.data(), s.low.data(), s.Count(), c.data());
  const std::vector<float> trend = TrendVigor(s.high, s.low);
  for (std::size_t i = 0; i < c.size(); ++i) {
    ASSERT_TRUE(SameFloat(trend[i], c[i]));
    ASSERT_TRUE(SameFloat(all.TrendVigor[i], c[i]));
  }
  EXPECT_TRUE(CyclePeriod(std::span<const float>{}, std::span<const float>{}).empty());
}

TEST(CppWrapper, UnequalLengthsThrow) {
  const std::vector<float> high(10, 2.0f), low(9, 1.0f);
  EXPECT_THROW(SwingPosition(high, low), std::invalid_argument);
  EXPECT_THROW(AllIndicators(high, low), std::invalid_argument);
}

TEST(CppWrapper, StreamCopiesAndMovesKeepTheirOwnState) {
  const Series s = RandomWalk("walk", 52, 200, 10.0);
  Stream a;
  for (int i = 0; i < 100; ++i) a.Push(s.high[i], s.low[i]);
  Stream b = a;
  Stream moved = std::move(a);
  for (int i = 100; i < 200; ++i) {
    const Values x = b.Push(s.high[i], s.low[i]);
    const Values peek = moved.Peek(s.high[i], s.low[i]);
    const Values y = moved.Push(s.high[i], s.low[i]);
    ASSERT_TRUE(SameFloat(x.TrendVigor, y.TrendVigor) && SameFloat(peek.SwingPosition, y.SwingPosition));
  }
  EXPECT_THROW(a.Push(1, 1), std::logic_error);  // NOLINT(bugprone-use-after-move): the documented failure
}

}  // namespace
}  // namespace tamsel::testing
