/* SPDX-License-Identifier: MIT */
#include "tamsel_prices.h"

#include <limits.h>
#include <math.h>

int tamsel_r_bar_count(SEXP high, SEXP low) {
  if (TYPEOF(high) != REALSXP || TYPEOF(low) != REALSXP) error("high and low must be double vectors");
  const R_xlen_t count = XLENGTH(high);
  if (XLENGTH(low) != count)
    error("high and low must have equal lengths, got %.0f and %.0f", (double)count, (double)XLENGTH(low));
  if (count > INT_MAX) error("%.0f bars are more than the library's limit of %d", (double)count, INT_MAX);
  return (int)count;
}

int tamsel_r_policy(SEXP policy) {
  if ((TYPEOF(policy) != INTSXP && TYPEOF(policy) != REALSXP) || XLENGTH(policy) != 1)
    error("the missing-price policy must be one number");
  const double number = asReal(policy);
  if (!(number >= 0 && number <= INT_MAX) || number != floor(number) ||
      TamselChart_MissingPolicyName((int)number) == NULL)
    error("no missing-price policy numbered %g", number);
  return (int)number;
}

SEXP tamsel_r_problem(const TamselChart_PriceProblem* problem) {
  static const char* names[] = {"kind", "text", "bar", "column", "price", ""};
  SEXP result = PROTECT(mkNamed(VECSXP, names));
  SET_VECTOR_ELT(result, 0, ScalarInteger(problem->kind));
  SET_VECTOR_ELT(result, 1, mkString(TamselChart_PriceProblemText(problem->kind)));
  SET_VECTOR_ELT(result, 2, ScalarInteger(problem->bar));
  SET_VECTOR_ELT(result, 3, ScalarInteger(problem->column));
  SET_VECTOR_ELT(result, 4, ScalarReal(problem->price));
  UNPROTECT(1);
  return result;
}

SEXP tamsel_r_values_matrix(const TamselChart_Values* values, int count) {
  SEXP result = PROTECT(allocMatrix(REALSXP, count, 4));
  double* out = REAL(result);
  const size_t rows = (size_t)count;
  for (size_t i = 0; i < rows; ++i) {
    out[i] = (double)values[i].CyclePeriod;
    out[i + rows] = (double)values[i].SignalToNoiseRatio;
    out[i + 2 * rows] = (double)values[i].SwingPosition;
    out[i + 3 * rows] = (double)values[i].TrendVigor;
  }
  UNPROTECT(1);
  return result;
}
