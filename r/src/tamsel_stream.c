/* SPDX-License-Identifier: MIT */
/* Streams as R external pointers, freed by R's finaliser (or at once by
   tamsel_r_stream_close). */
#include <R.h>
#include <Rinternals.h>

#include "TamselCharts.h"
#include "tamsel_prices.h"

/* Streams alive in this session, for the tests of the finaliser. */
static int liveStreams = 0;

static SEXP streamTag(void) { return install("TamselChart_Stream"); }

static void destroy(SEXP pointer) {
  TamselChart_Stream* stream = (TamselChart_Stream*)R_ExternalPtrAddr(pointer);
  if (stream == NULL) return;
  R_ClearExternalPtr(pointer);
  TamselChart_StreamDestroy(stream);
  --liveStreams;
}

static SEXP wrap(TamselChart_Stream* stream) {
  if (stream == NULL) error("the TamselCharts library could not allocate a stream (out of memory)");
  ++liveStreams;
  SEXP pointer = PROTECT(R_MakeExternalPtr(stream, streamTag(), R_NilValue));
  R_RegisterCFinalizerEx(pointer, destroy, TRUE);
  UNPROTECT(1);
  return pointer;
}

/* The stream behind an R handle.  A handle restored from a saved session or
   a serialised object holds a NULL address: the stream's state was C memory
   and did not travel with it. */
static TamselChart_Stream* unwrap(SEXP pointer) {
  if (TYPEOF(pointer) != EXTPTRSXP || R_ExternalPtrTag(pointer) != streamTag()) error("not a TamselCharts stream");
  TamselChart_Stream* stream = (TamselChart_Stream*)R_ExternalPtrAddr(pointer);
  if (stream == NULL)
    error(
        "the stream is closed, or was restored from a saved session or serialised copy, which cannot carry "
        "its state; create a new one with tamselStream() and push the bars again");
  return stream;
}

static SEXP valuesOf(const TamselChart_Values* values, int bars) {
  SEXP result = PROTECT(allocMatrix(REALSXP, bars, 4));
  double* out = REAL(result);
  const size_t rows = (size_t)bars;
  for (size_t i = 0; i < rows; ++i) {
    out[i] = (double)values[i].CyclePeriod;
    out[i + rows] = (double)values[i].SignalToNoiseRatio;
    out[i + 2 * rows] = (double)values[i].SwingPosition;
    out[i + 3 * rows] = (double)values[i].TrendVigor;
  }
  UNPROTECT(1);
  return result;
}

SEXP tamsel_r_stream_create(SEXP policy) {
  const int number = tamsel_r_policy(policy);
  SEXP pointer = PROTECT(wrap(TamselChart_StreamCreate()));
  TamselChart_StreamSetMissingPolicy(unwrap(pointer), number);
  UNPROTECT(1);
  return pointer;
}

SEXP tamsel_r_stream_clone(SEXP pointer) { return wrap(TamselChart_StreamClone(unwrap(pointer))); }

SEXP tamsel_r_stream_reset(SEXP pointer) {
  TamselChart_StreamReset(unwrap(pointer));
  return R_NilValue;
}

SEXP tamsel_r_stream_close(SEXP pointer) {
  if (TYPEOF(pointer) != EXTPTRSXP || R_ExternalPtrTag(pointer) != streamTag()) error("not a TamselCharts stream");
  destroy(pointer);
  return R_NilValue;
}

/* Commits the bars in order under the stream's policy: a bars x 4 matrix of
   their values, or the problem list of the first refused price, its bar
   counted from the stream's first bar.  Several bars are all committed or
   none: they go to a copy of the stream, which replaces it only when every
   bar was taken. */
SEXP tamsel_r_stream_push(SEXP pointer, SEXP high, SEXP low) {
  TamselChart_Stream* stream = unwrap(pointer);
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
  if (target != stream) {
    R_SetExternalPtrAddr(pointer, target);
    TamselChart_StreamDestroy(stream);
  }
  return valuesOf(values, bars);
}

/* The values one more bar would get, committing nothing: a 1 x 4 matrix, or
   the problem list of a refused price. */
SEXP tamsel_r_stream_peek(SEXP pointer, SEXP high, SEXP low) {
  const TamselChart_Stream* stream = unwrap(pointer);
  if (tamsel_r_bar_count(high, low) != 1) error("peek takes one bar: one high and one low");
  TamselChart_Values values;
  TamselChart_PriceProblem problem;
  if (TamselChart_StreamPeekPrices(stream, REAL(high)[0], REAL(low)[0], &values, &problem) == 0)
    return tamsel_r_problem(&problem);
  return valuesOf(&values, 1);
}

SEXP tamsel_r_live_streams(void) { return ScalarInteger(liveStreams); }
