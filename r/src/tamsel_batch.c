/* SPDX-License-Identifier: MIT */
/* The batch exports over whole R vectors. */
#include <R.h>
#include <Rinternals.h>

#include "TamselCharts.h"
#include "tamsel_prices.h"

/* The prices as the indicators take them, the library's policy applied:
   count floats each of high and low in R memory, or NULL after the problem
   was written (count 0 gives NULL with problem->kind 0). */
static int takePrices(SEXP high, SEXP low, int count, int policy, float** highOut, float** lowOut,
                      TamselChart_PriceProblem* problem) {
  problem->kind = TAMSELCHART_PRICE_OK;
  if (count == 0) return 0;
  *highOut = (float*)R_alloc((size_t)count, sizeof(float));
  *lowOut = (float*)R_alloc((size_t)count, sizeof(float));
  return TamselChart_ApplyMissingPolicy(REAL(high), REAL(low), count, policy, *highOut, *lowOut, problem) == count;
}

static SEXP widen(const float* values, R_xlen_t count) {
  SEXP result = PROTECT(allocVector(REALSXP, count));
  double* out = REAL(result);
  for (R_xlen_t i = 0; i < count; ++i) out[i] = (double)values[i];
  UNPROTECT(1);
  return result;
}

/* One indicator through its own export from the indicator table (which is
   its 1-based place there): a double vector, or the problem list of the
   first price the policy refuses. */
SEXP tamsel_r_indicator(SEXP high, SEXP low, SEXP which, SEXP policy) {
  const TamselChart_IndicatorInfo* info = TamselChart_Indicator(asInteger(which) - 1);
  if (info == NULL) error("no indicator number %d", asInteger(which));
  const int count = tamsel_r_bar_count(high, low);
  float *highPrices = NULL, *lowPrices = NULL;
  TamselChart_PriceProblem problem;
  if (!takePrices(high, low, count, tamsel_r_policy(policy), &highPrices, &lowPrices, &problem)) {
    if (count > 0) return tamsel_r_problem(&problem);
    return allocVector(REALSXP, 0);
  }
  float* out = (float*)R_alloc((size_t)count, sizeof(float));
  if (info->compute(highPrices, lowPrices, count, out) != count) error("the library refused %d bars", count);
  return widen(out, count);
}

/* All four indicators from one pass: a count x 4 double matrix in the
   table's order, or the problem list of the first price the policy refuses. */
SEXP tamsel_r_all_indicators(SEXP high, SEXP low, SEXP policy) {
  const int count = tamsel_r_bar_count(high, low);
  float *highPrices = NULL, *lowPrices = NULL;
  TamselChart_PriceProblem problem;
  if (!takePrices(high, low, count, tamsel_r_policy(policy), &highPrices, &lowPrices, &problem) && count > 0)
    return tamsel_r_problem(&problem);
  SEXP result = PROTECT(allocMatrix(REALSXP, count, 4));
  if (count > 0) {
    const size_t bars = (size_t)count;
    float* out = (float*)R_alloc(bars * 4, sizeof(float));
    const int done =
        TamselChart_AllIndicators(highPrices, lowPrices, count, out, out + bars, out + 2 * bars, out + 3 * bars);
    if (done != count) error("the library refused %d bars", count);
    double* values = REAL(result);
    for (size_t i = 0; i < bars * 4; ++i) values[i] = (double)out[i];
  }
  UNPROTECT(1);
  return result;
}
