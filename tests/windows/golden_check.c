/* SPDX-License-Identifier: MIT */
/* See golden_check.h. */
#include "golden_check.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const char* const kTamselExportNames[TAMSEL_EXPORT_COUNT] = {
    "TamselChart_CyclePeriod", "TamselChart_SignalToNoiseRatio", "TamselChart_SwingPosition",
    "TamselChart_TrendVigor",  "TamselChart_AllIndicators",      "TamselChart_StreamCreate",
    "TamselChart_StreamClone", "TamselChart_StreamReset",        "TamselChart_StreamDestroy",
    "TamselChart_StreamPush",  "TamselChart_StreamPeek",         "TamselChart_StreamSave",
    "TamselChart_StreamLoad"};

typedef struct {
  char name[64];
  uint32_t count;
  float* bar; /* six floats a bar: high, low, then the four outputs */
} Series;

static int failures;

#define FAIL(...)                 \
  do {                            \
    printf("FAIL: " __VA_ARGS__); \
    printf("\n");                 \
    ++failures;                   \
  } while (0)

static uint32_t U32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24); }

static uint32_t Bits(float f) {
  uint32_t u;
  memcpy(&u, &f, 4);
  return u;
}

static float FromBits(uint32_t u) {
  float f;
  memcpy(&f, &u, 4);
  return f;
}

/* Bit for bit, any NaN equal to any NaN: as the outputs are compared everywhere. */
static int Same(float a, float b) { return (isnan(a) && isnan(b)) || Bits(a) == Bits(b); }

static Series* ReadGolden(const char* path, uint32_t* seriesCount) {
  FILE* f = fopen(path, "rb");
  if (f == NULL) return NULL;
  fseek(f, 0, SEEK_END);
  long size = ftell(f);
  fseek(f, 0, SEEK_SET);
  unsigned char* data = malloc((size_t)size);
  if (data == NULL || fread(data, 1, (size_t)size, f) != (size_t)size || size < 12 ||
      memcmp(data, "TSGOLD01", 8) != 0) {
    fclose(f);
    free(data);
    return NULL;
  }
  fclose(f);
  *seriesCount = U32(data + 8);
  Series* all = calloc(*seriesCount, sizeof(Series));
  size_t at = 12;
  for (uint32_t s = 0; s < *seriesCount; ++s) {
    uint32_t nameLength = U32(data + at);
    at += 4;
    memcpy(all[s].name, data + at, nameLength < 63 ? nameLength : 63);
    at += nameLength;
    all[s].count = U32(data + at);
    at += 4;
    all[s].bar = malloc(sizeof(float) * 6 * (all[s].count + 1));
    for (uint32_t i = 0; i < 6 * all[s].count; ++i, at += 4) all[s].bar[i] = FromBits(U32(data + at));
  }
  free(data);
  return all;
}

static uintptr_t P(const void* p) { return (uintptr_t)p; }

/* The lowest bit-identical count each batch export may show, from the
   agreement file: lines "<flavour> <export name> <count>". */
static long Floor(const char* file, const char* flavour, const char* exportName) {
  FILE* f = file != NULL ? fopen(file, "r") : NULL;
  if (f == NULL) return -1;
  char line[256], fl[32], name[64];
  long count, found = -1;
  while (fgets(line, sizeof line, f) != NULL)
    if (line[0] != '#' && sscanf(line, "%31s %63s %ld", fl, name, &count) == 3 && strcmp(fl, flavour) == 0 &&
        strcmp(name, exportName) == 0)
      found = count;
  fclose(f);
  return found;
}

int RunGoldenChecks(const char* goldenPath, const char* agreementFile, const char* flavour, DllCall call,
                    void* context) {
  uint32_t seriesCount = 0;
  Series* all = ReadGolden(goldenPath, &seriesCount);
  if (all == NULL) {
    FAIL("cannot read golden file %s", goldenPath);
    return failures;
  }
  long identical[4] = {0}, total = 0, nanMismatch[4] = {0};
  double largest[4] = {0};
  const float guard = -1234.5f;

  for (uint32_t s = 0; s < seriesCount; ++s) {
    const Series* g = &all[s];
    const int n = (int)g->count;
    float* high = malloc(sizeof(float) * n);
    float* low = malloc(sizeof(float) * n);
    float* out[4];
    float* together[4];
    for (int i = 0; i < n; ++i) high[i] = g->bar[6 * i], low[i] = g->bar[6 * i + 1];
    total += n;

    /* The batch exports against the golden outputs. */
    for (int e = 0; e < 4; ++e) {
      out[e] = malloc(sizeof(float) * (n + 1));
      together[e] = malloc(sizeof(float) * (n + 1));
      out[e][n] = guard;
      const uintptr_t args[] = {P(high), P(low), (uintptr_t)n, P(out[e])};
      if ((int)call(context, e, args, 4) != n) FAIL("%s(%s) did not return the count", kTamselExportNames[e], g->name);
      if (Bits(out[e][n]) != Bits(guard)) FAIL("%s(%s) wrote past the last bar", kTamselExportNames[e], g->name);
      for (int i = 0; i < n; ++i) {
        const float want = g->bar[6 * i + 2 + e], got = out[e][i];
        if (Same(want, got)) {
          ++identical[e];
        } else if (isnan(want) != isnan(got)) {
          ++nanMismatch[e];
          FAIL("%s(%s) bar %d: want %.9g got %.9g", kTamselExportNames[e], g->name, i + 1, want, got);
        } else if (fabs((double)want - got) > largest[e] || isinf(want) || isinf(got)) {
          largest[e] = fabs((double)want - got);
        }
      }
    }

    /* The all-in-one pass equals the four exports bit for bit. */
    const uintptr_t allArgs[] = {P(high),        P(low),         (uintptr_t)n,  P(together[0]),
                                 P(together[1]), P(together[2]), P(together[3])};
    if ((int)call(context, kAllIndicators, allArgs, 7) != n)
      FAIL("AllIndicators(%s) did not return the count", g->name);
    for (int e = 0; e < 4; ++e)
      for (int i = 0; i < n; ++i)
        if (!Same(out[e][i], together[e][i])) {
          FAIL("AllIndicators(%s) bar %d differs from %s", g->name, i + 1, kTamselExportNames[e]);
          break;
        }

    /* A stream, peeked then pushed bar by bar, gives the batch values; a
       clone taken halfway continues as the original, and a reset stream
       starts again at bar 1. */
    uintptr_t stream = call(context, kStreamCreate, NULL, 0);
    uintptr_t clone = 0;
    if (stream == 0) FAIL("StreamCreate returned NULL");
    for (int i = 0; i < n && stream != 0; ++i) {
      float peeked[4], pushed[4], cloned[4];
      const uintptr_t peekArgs[] = {stream, Bits(high[i]), Bits(low[i]), P(peeked)};
      const uintptr_t pushArgs[] = {stream, Bits(high[i]), Bits(low[i]), P(pushed)};
      if ((int)call(context, kStreamPeek, peekArgs, 4) != i + 1 ||
          (int)call(context, kStreamPush, pushArgs, 4) != i + 1)
        FAIL("stream(%s) bar %d: wrong bar number", g->name, i + 1);
      if (clone != 0) {
        const uintptr_t cloneArgs[] = {clone, Bits(high[i]), Bits(low[i]), P(cloned)};
        call(context, kStreamPush, cloneArgs, 4);
        if (memcmp(cloned, pushed, sizeof pushed) != 0) FAIL("stream clone(%s) bar %d differs", g->name, i + 1);
      }
      for (int e = 0; e < 4; ++e)
        if (!Same(pushed[e], out[e][i]) || !Same(peeked[e], out[e][i])) {
          FAIL("stream(%s) bar %d: %s differs from the batch", g->name, i + 1, kTamselExportNames[e]);
          break;
        }
      if (i == n / 2) {
        const uintptr_t cloneArgs[] = {stream};
        clone = call(context, kStreamClone, cloneArgs, 1);
        if (clone == 0) FAIL("StreamClone returned NULL");
      }
    }
    if (stream != 0 && n > 0) {
      const uintptr_t resetArgs[] = {stream};
      float first[4];
      call(context, kStreamReset, resetArgs, 1);
      const uintptr_t pushArgs[] = {stream, Bits(high[0]), Bits(low[0]), P(first)};
      if ((int)call(context, kStreamPush, pushArgs, 4) != 1 || !Same(first[3], out[3][0]))
        FAIL("reset stream(%s) does not restart at bar 1", g->name);
    }
    const uintptr_t destroyStream[] = {stream}, destroyClone[] = {clone};
    call(context, kStreamDestroy, destroyStream, 1);
    call(context, kStreamDestroy, destroyClone, 1);
    for (int e = 0; e < 4; ++e) free(out[e]), free(together[e]);
    free(high);
    free(low);
  }

  /* Bad arguments are refused without a write. */
  {
    float one = 1.0f, sink = guard;
    const uintptr_t noHigh[] = {0, P(&one), 1, P(&sink)};
    const uintptr_t noCount[] = {P(&one), P(&one), 0, P(&sink)};
    const uintptr_t nullStream[] = {0, Bits(one), Bits(one), P(&sink)};
    for (int e = 0; e < 4; ++e)
      if (call(context, e, noHigh, 4) != 0 || call(context, e, noCount, 4) != 0 || Bits(sink) != Bits(guard))
        FAIL("%s accepted a NULL pointer or an empty series", kTamselExportNames[e]);
    if (call(context, kStreamPush, nullStream, 4) != 0 || call(context, kStreamClone, nullStream, 1) != 0)
      FAIL("the stream functions accepted a NULL stream");
  }

  printf("%-32s %14s %10s %16s\n", "agreement with the golden outputs", "identical", "of bars", "largest diff");
  for (int e = 0; e < 4; ++e) {
    printf("%-32s %14ld %10ld %16.9g\n", kTamselExportNames[e], identical[e], total, largest[e]);
    const long floor = Floor(agreementFile, flavour, kTamselExportNames[e]);
    if (agreementFile != NULL && floor < 0) FAIL("no agreement floor for %s %s", flavour, kTamselExportNames[e]);
    if (identical[e] < floor)
      FAIL("%s: %ld bit-identical bars, fewer than the %ld pinned in %s", kTamselExportNames[e], identical[e], floor,
           agreementFile);
    if (nanMismatch[e] != 0) FAIL("%s: %ld bars NaN on one side only", kTamselExportNames[e], nanMismatch[e]);
  }
  for (uint32_t s = 0; s < seriesCount; ++s) free(all[s].bar);
  free(all);
  return failures;
}
