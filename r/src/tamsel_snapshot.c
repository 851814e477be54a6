/* SPDX-License-Identifier: MIT */
/* A stream's snapshot as an R raw vector, and a new stream from one. */
#include "tamsel_snapshot.h"

#include "tamsel_stream_handle.h"

SEXP tamsel_r_snapshot_of(const TamselChart_Stream* stream) {
  const int size = TamselChart_StreamSave(stream, NULL, 0);
  SEXP bytes = PROTECT(allocVector(RAWSXP, size));
  if (TamselChart_StreamSave(stream, RAW(bytes), size) != size)
    error("the TamselCharts library could not save a stream");
  UNPROTECT(1);
  return bytes;
}

TamselChart_Stream* tamsel_r_stream_from_snapshot(SEXP bytes, int* reason) {
  const R_xlen_t size = XLENGTH(bytes);
  /* More bytes than the largest snapshot are refused as more than it, which
     also keeps the count within the C interface's int. */
  const int given = size > TAMSELCHART_SNAPSHOT_MAX_BYTES ? TAMSELCHART_SNAPSHOT_MAX_BYTES + 1 : (int)size;
  return TamselChart_StreamLoad(size == 0 ? NULL : RAW(bytes), given, reason);
}

SEXP tamsel_r_snapshot_refusal(int reason) {
  static const char* names[] = {"reason", "text", ""};
  SEXP refused = PROTECT(mkNamed(VECSXP, names));
  SET_VECTOR_ELT(refused, 0, ScalarInteger(reason));
  SET_VECTOR_ELT(refused, 1, mkString(TamselChart_SnapshotProblemText(reason)));
  UNPROTECT(1);
  return refused;
}

SEXP tamsel_r_stream_save(SEXP handle) { return tamsel_r_snapshot_of(tamsel_r_stream_of(handle)); }

/* A list: the new stream's handle and its bar count, or the reason number
   and the library's sentence for bytes it refuses, for the R code to raise
   in its own terms. */
SEXP tamsel_r_stream_load(SEXP bytes) {
  if (TYPEOF(bytes) != RAWSXP) error("a snapshot is a raw vector");
  int reason = TAMSELCHART_SNAPSHOT_OK;
  TamselChart_Stream* stream = tamsel_r_stream_from_snapshot(bytes, &reason);
  if (stream == NULL) return tamsel_r_snapshot_refusal(reason);
  SEXP handle = PROTECT(tamsel_r_stream_handle(stream));
  /* The number a peek gives the next bar tells how many the stream has had. */
  TamselChart_Values next;
  const int bars = TamselChart_StreamPeek(stream, 1.0f, 1.0f, &next) - 1;
  static const char* names[] = {"handle", "bars", ""};
  SEXP loaded = PROTECT(mkNamed(VECSXP, names));
  SET_VECTOR_ELT(loaded, 0, handle);
  SET_VECTOR_ELT(loaded, 1, ScalarInteger(bars));
  UNPROTECT(2);
  return loaded;
}
