// SPDX-License-Identifier: MIT
// The missing-price policy, the one copy behind every front end: what a
// price that is not a finite float becomes, or why it is refused.
#pragma once

#include <cmath>

#include "TamselCharts.h"

namespace tamsel {

inline bool IsMissingPolicy(int policy) {
  return policy == TAMSELCHART_MISSING_ERROR || policy == TAMSELCHART_MISSING_PREVIOUS ||
         policy == TAMSELCHART_MISSING_NAN;
}

// What the policy makes of one price: TAMSELCHART_PRICE_OK with the float in
// *taken, or the kind of problem (and *taken untouched).  previous is the
// same column's price as last taken, for "previous"; hasPrevious is false
// on the first bar.
inline int TakePrice(double price, int policy, float previous, bool hasPrevious, float* taken) {
  const float narrowed = static_cast<float>(price);
  if (std::isfinite(narrowed)) {
    *taken = narrowed;
    return TAMSELCHART_PRICE_OK;
  }
  // Everything as it is: a NaN keeps its payload, and a finite price beyond
  // float range becomes the infinity of its sign, as a C caller's own
  // conversion would make it.
  if (policy == TAMSELCHART_MISSING_NAN) {
    *taken = narrowed;
    return TAMSELCHART_PRICE_OK;
  }
  if (std::isinf(price)) return TAMSELCHART_PRICE_INFINITE;
  if (!std::isnan(price)) return TAMSELCHART_PRICE_OUT_OF_RANGE;
  if (policy == TAMSELCHART_MISSING_ERROR) return TAMSELCHART_PRICE_MISSING;
  // One NaN would freeze the spectrum for the rest of the series; the bar
  // before's price keeps it running as if the bar had not moved.
  if (!hasPrevious) return TAMSELCHART_PRICE_NO_PREVIOUS;
  *taken = previous;
  return TAMSELCHART_PRICE_OK;
}

// A stream's memory of the policy: the prices last handed to the
// indicators, repeated by "previous".
struct MissingPriceMemory {
  int policy = TAMSELCHART_MISSING_ERROR;
  bool hasPrevious = false;
  float high = 0.0f;
  float low = 0.0f;

  // Both prices of a bar, high first; on a problem nothing is remembered.
  int Take(double highPrice, double lowPrice, float* highTaken, float* lowTaken, int* column) const {
    int kind = TakePrice(highPrice, policy, high, hasPrevious, highTaken);
    *column = TAMSELCHART_COLUMN_HIGH;
    if (kind != TAMSELCHART_PRICE_OK) return kind;
    *column = TAMSELCHART_COLUMN_LOW;
    return TakePrice(lowPrice, policy, low, hasPrevious, lowTaken);
  }

  void Remember(float highTaken, float lowTaken) {
    hasPrevious = true;
    high = highTaken;
    low = lowTaken;
  }
};

}  // namespace tamsel
