/* SPDX-License-Identifier: MIT */
/*
 * The C batch call over the series the timing query computes in SQL
 * (test/measure.py): SYMBOLS series of BARS bars, all four indicators per
 * series.  Prints the seconds taken.  Usage: batch_timing SYMBOLS BARS
 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "TamselCharts.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  int symbols = atoi(argv[1]), bars = atoi(argv[2]);
  float* high = malloc(sizeof(float) * (size_t)bars * 6);
  if (high == NULL) return 1;
  float *low = high + bars, *cp = low + bars, *snr = cp + bars, *sp = snr + bars, *tv = sp + bars;
  double checksum = 0, seconds = 0;
  for (int s = 1; s <= symbols; ++s) {
    /* the same prices as the SQL table (as float) */
    for (int t = 1; t <= bars; ++t) {
      high[t - 1] = (float)(100 + sin(t / 7.0 + s) * 3 + s * 0.01);
      low[t - 1] = (float)(99 + sin(t / 7.0 + s) * 3 + s * 0.01);
    }
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    TamselChart_AllIndicators(high, low, bars, cp, snr, sp, tv);
    clock_gettime(CLOCK_MONOTONIC, &end);
    seconds += (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) * 1e-9;
    checksum += cp[bars - 1];
  }
  printf("%.3f %.6g\n", seconds, checksum);
  free(high);
  return 0;
}
