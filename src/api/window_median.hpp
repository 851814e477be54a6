// SPDX-License-Identifier: MIT
// The median of a short window of doubles, found by striking out the lowest
// and the highest value that are still in, pass after pass.
#pragma once

namespace tamsel {

// The largest window the median takes; longer windows are cut to this length.
inline constexpr int kWindowMedianCapacity = 100;

// Among equal lowest values the one with the smallest index is struck out,
// among equal highest values the one with the largest index.  A NaN counts as
// the lowest of all and never as the highest, so a pass can strike out one
// value only and leave more values in the result: {1, NaN, 5} gives NaN, the
// sum of 1 and NaN.  A count of 0 or less gives 0.0.
double WindowMedian(const double* window, int count);

}  // namespace tamsel
