/* SPDX-License-Identifier: MIT */
/* A C program as a user of an installed TamselCharts writes it: built by
   scripts/test-consumers.sh through pkg-config (shared and static), the
   CMake package and the unpacked Debian packages.  It prints the library's
   version and a digest of every indicator over a fixed series; the C++
   consumer prints the same lines, so every way of building must print the
   same text.  Exits 1 when the library contradicts itself. */
#include <TamselCharts.h>
#include <errno.h>
#include <inttypes.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "consumer_series.h"

#if defined(CONSUMER_WRAPS_ALLOCATOR)
/* Linked with -Wl,--wrap=posix_memalign against the static library: the
   library's allocations come here and fail on demand, and every export that
   allocates must then return NULL. */
int __real_posix_memalign(void** block, size_t alignment, size_t size);
int __wrap_posix_memalign(void** block, size_t alignment, size_t size);
static int failAllocations;
int __wrap_posix_memalign(void** block, size_t alignment, size_t size) {
  if (failAllocations) return ENOMEM;
  return __real_posix_memalign(block, alignment, size);
}

static int AllocationFailuresAreNull(void) {
  TamselChart_Stream* stream = TamselChart_StreamCreate();
  if (stream == NULL) return 0;
  failAllocations = 1;
  const int allNull = TamselChart_StreamCreate() == NULL && TamselChart_StreamClone(stream) == NULL;
  failAllocations = 0;
  TamselChart_StreamDestroy(stream);
  fputs("allocation failures checked\n", stderr);
  return allNull;
}
#endif

static uint64_t Digest(const float* values, int count) {
  uint64_t hash = 14695981039346656037u; /* FNV-1a over the bits */
  for (int i = 0; i < count; ++i) {
    uint32_t bits;
    memcpy(&bits, &values[i], sizeof bits);
    for (int b = 0; b < 4; ++b) hash = (hash ^ ((bits >> (8 * b)) & 0xffu)) * 1099511628211u;
  }
  return hash;
}

int main(void) {
  static float high[kConsumerBars], low[kConsumerBars], batch[4][kConsumerBars], streamed[4][kConsumerBars];
  static const char* const names[4] = {"CyclePeriod", "SignalToNoiseRatio", "SwingPosition", "TrendVigor"};
  FillConsumerSeries(high, low);
  int failures = 0;

  printf("version %s\n", TamselChart_Version());
  printf("header %d.%d.%d\n", TAMSELCHARTS_VERSION_MAJOR, TAMSELCHARTS_VERSION_MINOR, TAMSELCHARTS_VERSION_PATCH);

  const IndicatorExport exports[4] = {TamselChart_CyclePeriod, TamselChart_SignalToNoiseRatio,
                                      TamselChart_SwingPosition, TamselChart_TrendVigor};
  for (int k = 0; k < 4; ++k) failures += exports[k](high, low, kConsumerBars, batch[k]) != kConsumerBars;

  /* The stream, cloned halfway, must give the batch values at every bar. */
  TamselChart_Stream* stream = TamselChart_StreamCreate();
  TamselChart_Stream* clone = NULL;
  if (stream == NULL) return 1;
  for (int i = 0; i < kConsumerBars; ++i) {
    TamselChart_Values v;
    if (i == kConsumerBars / 2) {
      clone = TamselChart_StreamClone(stream);
      TamselChart_StreamDestroy(stream);
      stream = clone;
      if (stream == NULL) return 1;
    }
    failures += TamselChart_StreamPush(stream, high[i], low[i], &v) != i + 1;
    streamed[0][i] = v.CyclePeriod;
    streamed[1][i] = v.SignalToNoiseRatio;
    streamed[2][i] = v.SwingPosition;
    streamed[3][i] = v.TrendVigor;
  }
  TamselChart_StreamDestroy(stream);

  for (int k = 0; k < 4; ++k) {
    const uint64_t digest = Digest(batch[k], kConsumerBars);
    failures += digest != Digest(streamed[k], kConsumerBars);
    printf("%s %016" PRIx64 " %.9g\n", names[k], digest, batch[k][kConsumerBars - 1]);
  }
#if defined(CONSUMER_WRAPS_ALLOCATOR)
  failures += !AllocationFailuresAreNull();
#endif
  if (failures != 0) printf("FAILED: %d\n", failures);
  return failures != 0;
}
