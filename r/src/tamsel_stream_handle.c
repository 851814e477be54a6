/* SPDX-License-Identifier: MIT */
/* The stream handle: an empty raw vector of an ALTREP class of this package,
   holding the stream as an external pointer (data1) and, for a handle whose
   saved state could not be loaded again, the library's reason (data2).

   R calls no function of a package when it serialises an environment or an
   external pointer, which would leave a restored stream with no state.  It
   does ask an ALTREP object for its serialised state, so the handle answers
   with the stream's snapshot: it is taken only when R writes the handle, and
   it is the state at that very moment.  Reading it back loads a new stream
   from the snapshot. */
#include "tamsel_stream_handle.h"

#include <R_ext/Altrep.h>

#include "tamsel_snapshot.h"

static R_altrep_class_t handleClass;
static int liveStreams = 0;

static SEXP streamTag(void) { return install("TamselChart_Stream"); }

static void destroy(SEXP pointer) {
  TamselChart_Stream* stream = (TamselChart_Stream*)R_ExternalPtrAddr(pointer);
  if (stream == NULL) return;
  R_ClearExternalPtr(pointer);
  TamselChart_StreamDestroy(stream);
  --liveStreams;
}

/* stream may be NULL: a handle with no stream, closed or never loaded. */
static SEXP newHandle(TamselChart_Stream* stream, SEXP whyNone) {
  SEXP pointer = PROTECT(R_MakeExternalPtr(stream, streamTag(), R_NilValue));
  if (stream != NULL) {
    ++liveStreams;
    R_RegisterCFinalizerEx(pointer, destroy, TRUE);
  }
  SEXP handle = R_new_altrep(handleClass, pointer, whyNone);
  UNPROTECT(1);
  return handle;
}

SEXP tamsel_r_stream_handle(TamselChart_Stream* stream) {
  if (stream == NULL) error("the TamselCharts library could not allocate a stream (out of memory)");
  return newHandle(stream, R_NilValue);
}

static TamselChart_Stream* streamOf(SEXP handle) {
  return (TamselChart_Stream*)R_ExternalPtrAddr(R_altrep_data1(handle));
}

TamselChart_Stream* tamsel_r_stream_of(SEXP handle) {
  if (!R_altrep_inherits(handle, handleClass)) {
    /* What a handle becomes when it was written without its state: an empty
       raw vector when serialised in format 2 (which has no ALTREP), an
       external pointer with no address when written by tamselcharts 1.0. */
    if (TYPEOF(handle) == RAWSXP || TYPEOF(handle) == EXTPTRSXP)
      error(
          "this stream was restored from a copy that does not hold its state (written with serialization "
          "version 2, or by a tamselcharts older than 1.2); keep a stream with stream$save() and load it with "
          "tamselStreamLoad()");
    error("not a TamselCharts stream");
  }
  TamselChart_Stream* stream = streamOf(handle);
  if (stream != NULL) return stream;
  SEXP whyNone = R_altrep_data2(handle);
  if (TYPEOF(whyNone) == STRSXP && XLENGTH(whyNone) == 1)
    error("this stream was restored from a copy whose state could not be loaded: %s", CHAR(STRING_ELT(whyNone, 0)));
  error("the stream is closed");
  return NULL;
}

void tamsel_r_stream_replace(SEXP handle, TamselChart_Stream* stream) {
  TamselChart_Stream* old = streamOf(handle);
  R_SetExternalPtrAddr(R_altrep_data1(handle), stream);
  TamselChart_StreamDestroy(old);
}

void tamsel_r_stream_free(SEXP handle) {
  if (R_altrep_inherits(handle, handleClass))
    destroy(R_altrep_data1(handle));
  else if (TYPEOF(handle) != RAWSXP && TYPEOF(handle) != EXTPTRSXP)
    error("not a TamselCharts stream");
}

int tamsel_r_live_stream_count(void) { return liveStreams; }

/* The snapshot of the stream; a handle without a stream passes on why it has
   none (R_NilValue for a closed one), so that its copy says the same. */
static SEXP serializedState(SEXP handle) {
  const TamselChart_Stream* stream = streamOf(handle);
  return stream == NULL ? R_altrep_data2(handle) : tamsel_r_snapshot_of(stream);
}

/* A snapshot the library refuses (one written by a later version that this
   one cannot read, or damaged bytes) must not make the whole readRDS() fail,
   which would lose everything else in the file: the handle is restored
   without a stream and says why when it is used. */
static SEXP unserialize(SEXP class, SEXP state) {
  (void)class;
  if (TYPEOF(state) != RAWSXP) return newHandle(NULL, TYPEOF(state) == STRSXP ? state : R_NilValue);
  int reason = TAMSELCHART_SNAPSHOT_OK;
  TamselChart_Stream* stream = tamsel_r_stream_from_snapshot(state, &reason);
  if (stream != NULL) return newHandle(stream, R_NilValue);
  SEXP whyNone = PROTECT(mkString(TamselChart_SnapshotProblemText(reason)));
  SEXP handle = newHandle(NULL, whyNone);
  UNPROTECT(1);
  return handle;
}

/* A copy of the handle is another handle of the same stream, as a copy of an
   external pointer is. */
static SEXP duplicateHandle(SEXP handle, Rboolean deep) {
  (void)deep;
  return R_new_altrep(handleClass, R_altrep_data1(handle), R_altrep_data2(handle));
}

static R_xlen_t handleLength(SEXP handle) {
  (void)handle;
  return 0;
}

/* The handle holds no elements; R only asks for where they would be. */
static Rbyte noElements = 0;
static void* dataPointer(SEXP handle, Rboolean writeable) {
  (void)handle;
  (void)writeable;
  return &noElements;
}
static const void* dataPointerOrNull(SEXP handle) {
  (void)handle;
  return &noElements;
}

static Rboolean inspect(SEXP handle, int pre, int deep, int pvec, void (*inspectSubtree)(SEXP, int, int, int)) {
  (void)pre;
  (void)deep;
  (void)pvec;
  (void)inspectSubtree;
  Rprintf(" tamselcharts stream handle%s\n", streamOf(handle) == NULL ? " without a stream" : "");
  return TRUE;
}

void tamsel_r_register_stream_handle(DllInfo* dll) {
  handleClass = R_make_altraw_class("tamsel_stream_handle", "tamselcharts", dll);
  R_set_altrep_Length_method(handleClass, handleLength);
  R_set_altrep_Serialized_state_method(handleClass, serializedState);
  R_set_altrep_Unserialize_method(handleClass, unserialize);
  R_set_altrep_Duplicate_method(handleClass, duplicateHandle);
  R_set_altrep_Inspect_method(handleClass, inspect);
  R_set_altvec_Dataptr_method(handleClass, dataPointer);
  R_set_altvec_Dataptr_or_null_method(handleClass, dataPointerOrNull);
}
