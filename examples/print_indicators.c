/* SPDX-License-Identifier: MIT */
/* Prints the four indicators of a generated 20-bar cycle that drifts upward:
   the smallest complete host of the library, in C. */
#include <math.h>
#include <stdio.h>

#include "TamselCharts.h"

#define BARS 300

int main(void) {
  static float high[BARS], low[BARS], period[BARS], snr[BARS], swing[BARS], trend[BARS];
  for (int t = 0; t < BARS; ++t) {
    const double mid = 100.0 + 5.0 * sin(6.283185307179586 * t / 20.0) + 0.05 * t;
    high[t] = (float)(mid + 1.0);
    low[t] = (float)(mid - 1.0);
  }
  if (TamselChart_AllIndicators(high, low, BARS, period, snr, swing, trend) != BARS) return 1;
  printf("%5s %9s %9s %9s %8s %8s %8s\n", "bar", "high", "low", "cycle", "snr", "swing", "trend");
  for (int t = 0; t < BARS; t += 10)
    printf("%5d %9.3f %9.3f %9.4f %8.4f %8.4f %8.4f\n", t + 1, high[t], low[t], period[t], snr[t], swing[t], trend[t]);
  return 0;
}
