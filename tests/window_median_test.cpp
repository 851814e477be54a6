// SPDX-License-Identifier: MIT
#include "api/window_median.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tamsel {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(WindowMedian, StartUpWindowsOfTheDominantCycle) {
  const double one[] = {18, 0, 0, 0, 0}, two[] = {18, 18, 0, 0, 0}, three[] = {18, 18, 18, 0, 0};
  EXPECT_EQ(WindowMedian(one, 5), 0.0);
  EXPECT_EQ(WindowMedian(two, 5), 0.0);
  EXPECT_EQ(WindowMedian(three, 5), 18.0);
}

TEST(WindowMedian, OddAndEvenCounts) {
  const double mixed[] = {1, 5, 3, 4, 2}, equal[] = {7.5, 7.5, 7.5, 7.5, 7.5};
  EXPECT_EQ(WindowMedian(mixed, 5), 3.0);
  EXPECT_EQ(WindowMedian(equal, 5), 7.5);
  const double four[] = {4, 1, 3, 2}, two[] = {1, 2}, one[] = {7};
  EXPECT_EQ(WindowMedian(four, 4), 2.5);
  EXPECT_EQ(WindowMedian(two, 2), 1.5);
  EXPECT_EQ(WindowMedian(one, 1), 7.0);
  EXPECT_EQ(WindowMedian(one, 0), 0.0);
  EXPECT_EQ(WindowMedian(one, -3), 0.0);
}

TEST(WindowMedian, NaNIsTheLowestAndNeverTheHighest) {
  const double first[] = {kNaN, 1, 2, 3, 4};
  EXPECT_EQ(WindowMedian(first, 5), 3.0);
  // 5 is both candidates of the only pass, so just it is struck out and the
  // sum of 1 and NaN remains.
  const double middle[] = {1, kNaN, 5};
  EXPECT_TRUE(std::isnan(WindowMedian(middle, 3)));
}

TEST(WindowMedian, FiveNumbersGiveTheMiddleOneWhateverTheirOrderAndTies) {
  // Every window of five drawn from five values, ties included.
  for (int code = 0; code < 5 * 5 * 5 * 5 * 5; ++code) {
    double window[5], sorted[5];
    for (int i = 0, c = code; i < 5; ++i, c /= 5) sorted[i] = window[i] = (c % 5) * 1.5 - 3;
    std::sort(sorted, sorted + 5);
    ASSERT_EQ(WindowMedian(window, 5), sorted[2]) << code;
  }
  // The sum starts from +0.0, so a middle value of -0.0 comes out as +0.0.
  const double zeros[] = {-0.0, -0.0, -0.0, 1, -1};
  EXPECT_FALSE(std::signbit(WindowMedian(zeros, 5)));
}

}  // namespace
}  // namespace tamsel
