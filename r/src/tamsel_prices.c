/* SPDX-License-Identifier: MIT */
#include "tamsel_prices.h"

#include <limits.h>
#include <math.h>

/* Halfway between the largest float and 2^128: from here on the nearest
   float is the infinity. */
static const double kFloatOverflow = 0x1.ffffffp127;

float tamsel_r_price(double value) {
  if (isnan(value)) return NAN;
  if (value >= kFloatOverflow) return INFINITY;
  if (value <= -kFloatOverflow) return -INFINITY;
  return (float)value;
}

int tamsel_r_bar_count(SEXP high, SEXP low) {
  if (TYPEOF(high) != REALSXP || TYPEOF(low) != REALSXP) error("high and low must be double vectors");
  const R_xlen_t count = XLENGTH(high);
  if (XLENGTH(low) != count) error("high and low must have equal lengths");
  if (count > INT_MAX) error("%.0f bars are more than the library's limit of %d", (double)count, INT_MAX);
  return (int)count;
}

void tamsel_r_prices(SEXP high, SEXP low, int count, float** highOut, float** lowOut) {
  float* highPrices = (float*)R_alloc((size_t)count, sizeof(float));
  float* lowPrices = (float*)R_alloc((size_t)count, sizeof(float));
  const double* highValues = REAL(high);
  const double* lowValues = REAL(low);
  for (int i = 0; i < count; ++i) {
    highPrices[i] = tamsel_r_price(highValues[i]);
    lowPrices[i] = tamsel_r_price(lowValues[i]);
  }
  *highOut = highPrices;
  *lowOut = lowPrices;
}
