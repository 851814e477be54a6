/* SPDX-License-Identifier: MIT */
/*
 * Times the batch exports per bar on one generated series, so that the
 * native shared library and the Win64 DLL (under Wine) can be compared in one
 * run (bench/dll_timing/run.sh).  The same C source is built on both sides
 * and calls the exports through TamselCharts.h, linked to
 * libtamselcharts.so or through TamselCharts.lib: the library is the only
 * difference.
 *
 *   timing_host [bars [rounds]]     (default 300000 bars, 7 rounds)
 *
 * Prints one line per export, "<export> <ns per bar>", the fastest round,
 * and "digest <16 hex digits>" over the four single exports' outputs
 * (fuzz/output_digest.h), which must be the same for both libraries.
 */
#if !defined(_WIN32)
#define _POSIX_C_SOURCE 199309L /* clock_gettime */
#endif
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>

#include "../../fuzz/output_digest.h"
#include "TamselCharts.h"

#if defined(_WIN32)
#include <windows.h>
static double Seconds(void) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return (double)now.QuadPart / (double)frequency.QuadPart;
}
#else
#include <time.h>
static double Seconds(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (double)now.tv_sec + 1e-9 * (double)now.tv_nsec;
}
#endif

/* A random walk around 100 from integer randomness only, so both builds
   generate exactly the same prices. */
static void RandomWalk(float* high, float* low, int bars) {
  uint64_t state = 42;
  double mid = 100.0;
  for (int i = 0; i < bars; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    const double step = (double)(state >> 11) * 0x1p-53 - 0.5;
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    const double halfRange = 0.05 + 0.25 * ((double)(state >> 11) * 0x1p-53);
    mid = mid + step * 0.4;
    high[i] = (float)(mid + halfRange);
    low[i] = (float)(mid - halfRange);
  }
}

typedef int(TAMSELCHART_CALL* Single)(const float*, const float*, int, float*);

int main(int argc, char** argv) {
  const int bars = argc > 1 ? atoi(argv[1]) : 300000;
  const int rounds = argc > 2 ? atoi(argv[2]) : 7;
  if (bars < 1 || rounds < 1) {
    fprintf(stderr, "usage: %s [bars [rounds]]\n", argv[0]);
    return 2;
  }
  float* high = malloc(sizeof(float) * (size_t)bars);
  float* low = malloc(sizeof(float) * (size_t)bars);
  float* out[8];
  for (int k = 0; k < 8; ++k) out[k] = malloc(sizeof(float) * (size_t)bars);
  if (high == NULL || low == NULL) return 2;
  for (int k = 0; k < 8; ++k)
    if (out[k] == NULL) return 2;
  RandomWalk(high, low, bars);

  const struct {
    const char* name;
    Single run;
  } singles[] = {{"TamselChart_CyclePeriod", TamselChart_CyclePeriod},
                 {"TamselChart_SignalToNoiseRatio", TamselChart_SignalToNoiseRatio},
                 {"TamselChart_SwingPosition", TamselChart_SwingPosition},
                 {"TamselChart_TrendVigor", TamselChart_TrendVigor}};
  for (int e = 0; e <= 4; ++e) {
    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
      const double start = Seconds();
      const int done = e < 4 ? singles[e].run(high, low, bars, out[e])
                             : TamselChart_AllIndicators(high, low, bars, out[4], out[5], out[6], out[7]);
      const double elapsed = Seconds() - start;
      if (done != bars) {
        fprintf(stderr, "an export returned %d for %d bars\n", done, bars);
        return 1;
      }
      if (elapsed < best) best = elapsed;
    }
    printf("%-30s %8.1f\n", e < 4 ? singles[e].name : "TamselChart_AllIndicators", best * 1e9 / bars);
  }
  const float* const singleOutputs[4] = {out[0], out[1], out[2], out[3]};
  const float* const allOutputs[4] = {out[4], out[5], out[6], out[7]};
  const uint64_t digest = TamselOutputDigest(singleOutputs, bars);
  if (TamselOutputDigest(allOutputs, bars) != digest) {
    fprintf(stderr, "the all-in-one pass computed other outputs than the single exports\n");
    return 1;
  }
  printf("digest %016" PRIx64 "\n", digest);
  return 0;
}
