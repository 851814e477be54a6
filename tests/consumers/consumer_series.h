/* SPDX-License-Identifier: MIT */
/* The series every consumer computes: a 20-bar cycle on a slow drift, in
   exactly representable steps so that C and C++ build the same floats. */
#ifndef CONSUMER_SERIES_H
#define CONSUMER_SERIES_H

enum { kConsumerBars = 400 };

static inline void FillConsumerSeries(float* high, float* low) {
  for (int i = 0; i < kConsumerBars; ++i) {
    const int phase = i % 20 < 10 ? i % 20 : 20 - i % 20;
    const float mid = 100.0f + 0.5f * (float)phase + 0.125f * (float)(i / 8);
    high[i] = mid + 0.75f;
    low[i] = mid - 0.75f;
  }
}

#endif
