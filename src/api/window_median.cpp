#include "window_median.hpp"

namespace tamsel {

double WindowMedian(const double* window, int count) {
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
