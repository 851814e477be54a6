// SPDX-License-Identifier: MIT
#include "window_median.hpp"

namespace tamsel {
namespace {

// The strike-out median of five values that are all numbers: after two
// passes only the middle value is left, and the sum starts from 0.0.
double MedianOfFiveNumbers(const double* w) {
  double a = w[0], b = w[1], c = w[2], d = w[3], e = w[4];
  auto order = [](double& x, double& y) {
    const double low = y < x ? y : x;
    y = y < x ? x : y;
    x = low;
  };
  // Enough compare-exchanges to bring the middle value to c.
  order(a, b);
  order(d, e);
  order(a, d);
  order(b, e);
  order(b, c);
  order(c, d);
  order(b, c);
  return 0.0 + c;
}

}  // namespace

double WindowMedian(const double* window, int count) {
  if (count == 5 && window[0] == window[0] && window[1] == window[1] && window[2] == window[2] &&
      window[3] == window[3] && window[4] == window[4])
    return MedianOfFiveNumbers(window);
  if (count > kWindowMedianCapacity) count = kWindowMedianCapacity;
  bool stillIn[kWindowMedianCapacity];
  for (int i = 0; i < count; ++i) stillIn[i] = true;

  const bool even = count * 0.5 == static_cast<double>(static_cast<int>(count * 0.5));
  const int passes = count <= 2 ? 0 : (even ? (count - 2) / 2 : (count - 1) / 2);
  for (int pass = 0; pass < passes; ++pass) {
    int lowest = -1;
    int highest = -1;
    for (int i = 0; i < count; ++i) {
      if (!stillIn[i]) continue;
      if (lowest < 0) {
        lowest = highest = i;
        continue;
      }
      // An unordered comparison makes the value the new lowest candidate and
      // leaves the highest candidate alone.
      if (!(window[i] >= window[lowest])) lowest = i;
      if (window[i] >= window[highest]) highest = i;
    }
    stillIn[lowest] = false;
    stillIn[highest] = false;
  }

  double sum = 0.0;
  for (int i = 0; i < count; ++i)
    if (stillIn[i]) sum = sum + window[i];
  return even ? sum * 0.5 : sum;
}

}  // namespace tamsel
