/* SPDX-License-Identifier: MIT */
/* The stream's functions for R: create, push, peek, clone, reset, close. */
#include <R.h>
#include <Rinternals.h>

#include "TamselCharts.h"
#include "tamsel_prices.h"
#include "tamsel_stream_handle.h"

SEXP tamsel_r_stream_create(SEXP policy) {
  const int number = tamsel_r_policy(policy);
  SEXP handle = PROTECT(tamsel_r_stream_handle(TamselChart_StreamCreate()));
  TamselChart_StreamSetMissingPolicy(tamsel_r_stream_of(handle), number);
  UNPROTECT(1);
  return handle;
}

SEXP tamsel_r_stream_clone(SEXP handle) {
  return tamsel_r_stream_handle(TamselChart_StreamClone(tamsel_r_stream_of(handle)));
}

SEXP tamsel_r_stream_reset(SEXP handle) {
  TamselChart_StreamReset(tamsel_r_stream_of(handle));
  return R_NilValue;
}

SEXP tamsel_r_stream_close(SEXP handle) {
  tamsel_r_stream_free(handle);
  return R_NilValue;
}

/* Commits the bars in order under the stream's policy: a bars x 4 matrix of
   their values, or the problem list of the first refused price, its bar
   counted from the stream's first bar.  Several bars are all committed or
   none: they go to a copy of the stream, which replaces it only when every
   bar was taken. */
SEXP tamsel_r_stream_push(SEXP handle, SEXP high, SEXP low) {
  TamselChart_Stream* stream = tamsel_r_stream_of(handle);
  const int bars = tamsel_r_bar_count(high, low);
  TamselChart_Stream* target = bars > 1 ? TamselChart_StreamClone(stream) : stream;
  if (target == NULL) error("the TamselCharts library could not allocate a stream (out of memory)");
  TamselChart_Values* values = (TamselChart_Values*)R_alloc((size_t)bars + 1, sizeof(TamselChart_Values));
  const double* highValues = REAL(high);
  const double* lowValues = REAL(low);
  TamselChart_PriceProblem problem;
  for (int i = 0; i < bars; ++i) {
    if (TamselChart_StreamPushPrices(target, highValues[i], lowValues[i], &values[i], &problem) == 0) {
      if (target != stream) TamselChart_StreamDestroy(target);
      return tamsel_r_problem(&problem);
    }
  }
  if (target != stream) tamsel_r_stream_replace(handle, target);
  return tamsel_r_values_matrix(values, bars);
}

/* The values one more bar would get, committing nothing: a 1 x 4 matrix, or
   the problem list of a refused price. */
SEXP tamsel_r_stream_peek(SEXP handle, SEXP high, SEXP low) {
  const TamselChart_Stream* stream = tamsel_r_stream_of(handle);
  if (tamsel_r_bar_count(high, low) != 1) error("peek takes one bar: one high and one low");
  TamselChart_Values values;
  TamselChart_PriceProblem problem;
  if (TamselChart_StreamPeekPrices(stream, REAL(high)[0], REAL(low)[0], &values, &problem) == 0)
    return tamsel_r_problem(&problem);
  return tamsel_r_values_matrix(&values, 1);
}

SEXP tamsel_r_live_streams(void) { return ScalarInteger(tamsel_r_live_stream_count()); }
