/* SPDX-License-Identifier: MIT */
/* The batch exports over whole R vectors. */
#include <R.h>
#include <Rinternals.h>

#include "TamselCharts.h"
#include "tamsel_prices.h"

static SEXP widen(const float* values, int count) {
  SEXP result = PROTECT(allocVector(REALSXP, count));
  double* out = REAL(result);
  for (int i = 0; i < count; ++i) out[i] = (double)values[i];
  UNPROTECT(1);
  return result;
}

/* One indicator through its own export; which is 1 to 4 in the order cycle
   period, signal-to-noise ratio, swing position, trend vigor. */
SEXP tamsel_r_indicator(SEXP high, SEXP low, SEXP which) {
  static const IndicatorExport exports[] = {TamselChart_CyclePeriod, TamselChart_SignalToNoiseRatio,
                                            TamselChart_SwingPosition, TamselChart_TrendVigor};
  const int index = asInteger(which);
  if (index < 1 || index > 4) error("no indicator number %d", index);
  const int count = tamsel_r_bar_count(high, low);
  if (count == 0) return allocVector(REALSXP, 0);
  float *highPrices, *lowPrices;
  tamsel_r_prices(high, low, count, &highPrices, &lowPrices);
  float* out = (float*)R_alloc((size_t)count, sizeof(float));
  if (exports[index - 1](highPrices, lowPrices, count, out) != count) error("the library refused %d bars", count);
  return widen(out, count);
}

/* All four indicators from one pass: a count x 4 double matrix. */
SEXP tamsel_r_all_indicators(SEXP high, SEXP low) {
  const int count = tamsel_r_bar_count(high, low);
  SEXP result = PROTECT(allocMatrix(REALSXP, count, 4));
  if (count > 0) {
    float *highPrices, *lowPrices;
    tamsel_r_prices(high, low, count, &highPrices, &lowPrices);
    float* out = (float*)R_alloc((size_t)count * 4, sizeof(float));
    const int done = TamselChart_AllIndicators(highPrices, lowPrices, count, out, out + count, out + 2 * (size_t)count,
                                               out + 3 * (size_t)count);
    if (done != count) error("the library refused %d bars", count);
    double* values = REAL(result);
    for (size_t i = 0; i < (size_t)count * 4; ++i) values[i] = (double)out[i];
  }
  UNPROTECT(1);
  return result;
}
