/* SPDX-License-Identifier: MIT */
/* See fuzz_series.h. */
#include "fuzz_series.h"

#include <stdlib.h>
#include <string.h>

/* The payload, read from its start again whenever it runs out. */
typedef struct {
  const uint8_t* data;
  size_t size;
  size_t position;
} Payload;

static uint8_t PayloadByte(Payload* p) {
  if (p->size == 0) return 0;
  const uint8_t b = p->data[p->position];
  p->position = p->position + 1 == p->size ? 0 : p->position + 1;
  return b;
}

static float PayloadFloat(Payload* p) {
  uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) bits |= (uint32_t)PayloadByte(p) << (8 * i);
  float f;
  memcpy(&f, &bits, sizeof f);
  return f;
}

void TamselFreeFuzzSeries(TamselFuzzSeries* series) {
  free(series->high);
  free(series->low);
  memset(series, 0, sizeof *series);
}

int TamselDecodeFuzzSeries(const uint8_t* data, size_t size, TamselFuzzSeries* series) {
  memset(series, 0, sizeof *series);
  const unsigned n = (size > 0 ? data[0] : 0u) | (size > 1 ? data[1] : 0u) << 8;
  const int count = (int)(n < 0x8000 ? n % (kTamselFuzzShortBars + 1) : n % (kTamselFuzzMaxBars + 1));
  const unsigned shape = size > 2 ? data[2] : 0u;
  series->nullOutputs = (shape >> 2) & 0xf;
  switch (shape >> 6) {
    case 1:
      series->cloneAfter = 1;
      break;
    case 2:
      series->cloneAfter = count / 2;
      break;
    case 3:
      series->cloneAfter = count < 14 ? count : 14;
      break;
    default:
      series->cloneAfter = 0;
      break;
  }
  /* At least one element, so that an empty series still has real pointers. */
  const size_t elements = (size_t)(count > 0 ? count : 1);
  series->high = malloc(elements * sizeof(float));
  series->low = malloc(elements * sizeof(float));
  if (series->high == NULL || series->low == NULL) {
    TamselFreeFuzzSeries(series);
    return 0;
  }
  series->count = count;
  Payload payload = {size > 3 ? data + 3 : data, size > 3 ? size - 3 : 0, 0};
  const unsigned mode = shape & 3;
  if (mode == 0 || mode == 2) {
    /* Any bit patterns; mode 2 gives bars with no range (high equal to low). */
    for (int i = 0; i < count; ++i) {
      series->high[i] = PayloadFloat(&payload);
      series->low[i] = mode == 2 ? series->high[i] : PayloadFloat(&payload);
    }
  } else {
    /* A walk from any start in steps of any size, so that short inputs reach
       realistic series; mode 3 passes high and low swapped. */
    double mid = PayloadFloat(&payload);
    const double step = PayloadFloat(&payload);
    for (int i = 0; i < count; ++i) {
      mid += step * (int8_t)PayloadByte(&payload) / 8;
      const double halfRange = step * PayloadByte(&payload) / 64;
      const float high = (float)(mid + halfRange);
      const float low = (float)(mid - halfRange);
      series->high[i] = mode == 1 ? high : low;
      series->low[i] = mode == 1 ? low : high;
    }
  }
  return 1;
}
