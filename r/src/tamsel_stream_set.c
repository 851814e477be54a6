/* SPDX-License-Identifier: MIT */
/* The stream set's functions for R: create, push, save and load a member,
   a member's policy, close.  The set is an external pointer; the vector it
   protects holds every member's latest values (TamselChart_Values), which
   a push writes for the members that take a bar and leaves for the others. */
#include <R.h>
#include <Rinternals.h>
#include <math.h>

#include "TamselCharts.h"
#include "tamsel_prices.h"
#include "tamsel_snapshot.h"

static SEXP setTag(void) { return install("TamselChart_StreamSet"); }

static void destroy(SEXP pointer) {
  TamselChart_StreamSet* set = (TamselChart_StreamSet*)R_ExternalPtrAddr(pointer);
  if (set == NULL) return;
  R_ClearExternalPtr(pointer);
  TamselChart_StreamSetDestroy(set);
}

static TamselChart_StreamSet* setOf(SEXP pointer) {
  if (TYPEOF(pointer) != EXTPTRSXP || R_ExternalPtrTag(pointer) != setTag()) error("not a stream set");
  TamselChart_StreamSet* set = (TamselChart_StreamSet*)R_ExternalPtrAddr(pointer);
  /* R writes an external pointer without its address: a set read back from
     saveRDS() or serialize() has none, as has a closed one. */
  if (set == NULL)
    error(
        "the stream set is closed, or was restored from a copy, which does not hold its members' states; keep "
        "members with set$save(i) and load them into a new set with set$load(i, snapshot)");
  return set;
}

static TamselChart_Values* latestOf(SEXP pointer) { return (TamselChart_Values*)RAW(R_ExternalPtrProtected(pointer)); }

static void clearValues(TamselChart_Values* values) {
  values->CyclePeriod = values->SignalToNoiseRatio = values->SwingPosition = values->TrendVigor = NAN;
}

static int memberNumber(SEXP member) {
  if (TYPEOF(member) != INTSXP || XLENGTH(member) != 1) error("a member is one integer");
  return INTEGER(member)[0];
}

SEXP tamsel_r_set_create(SEXP members, SEXP policy) {
  const int number = tamsel_r_policy(policy);
  const int count = memberNumber(members);
  if (count < 1) error("a stream set needs at least one member");
  SEXP latest = PROTECT(allocVector(RAWSXP, (R_xlen_t)count * (R_xlen_t)sizeof(TamselChart_Values)));
  TamselChart_Values* values = (TamselChart_Values*)RAW(latest);
  for (int i = 0; i < count; ++i) clearValues(&values[i]);
  /* The pointer and its finaliser first: an R error after the set exists
     would otherwise leak it. */
  SEXP pointer = PROTECT(R_MakeExternalPtr(NULL, setTag(), latest));
  R_RegisterCFinalizerEx(pointer, destroy, TRUE);
  TamselChart_StreamSet* set = TamselChart_StreamSetCreate(count);
  if (set == NULL)
    error("the TamselCharts library could not allocate a stream set of %d members (out of memory)", count);
  R_SetExternalPtrAddr(pointer, set);
  TamselChart_StreamSetSetMissingPolicy(set, -1, number);
  UNPROTECT(2);
  return pointer;
}

/* Commits one interval: every member's latest values as a members x 4
   matrix, or the problem list of the first refused price, with the refusing
   member (0-based), when no member advanced.  hasBar is NULL (every member
   has a bar) or a logical vector without NA. */
SEXP tamsel_r_set_push(SEXP pointer, SEXP high, SEXP low, SEXP hasBar) {
  TamselChart_StreamSet* set = setOf(pointer);
  const int count = TamselChart_StreamSetMemberCount(set);
  if (tamsel_r_bar_count(high, low) != count) error("one high and one low price per member");
  unsigned char* flags = NULL;
  if (hasBar != R_NilValue) {
    if (TYPEOF(hasBar) != LGLSXP || XLENGTH(hasBar) != count) error("one has-a-bar flag per member");
    flags = (unsigned char*)R_alloc((size_t)count, 1);
    for (int i = 0; i < count; ++i) flags[i] = LOGICAL(hasBar)[i] == TRUE ? 1 : 0;
  }
  TamselChart_Values* latest = latestOf(pointer);
  TamselChart_PriceProblem problem;
  int member = -1;
  if (TamselChart_StreamSetPushPrices(set, REAL(high), REAL(low), flags, latest, &problem, &member) < 0) {
    SEXP refused = PROTECT(tamsel_r_problem(&problem));
    SEXP named = PROTECT(allocVector(VECSXP, XLENGTH(refused) + 1));
    SEXP names = PROTECT(allocVector(STRSXP, XLENGTH(refused) + 1));
    SEXP given = getAttrib(refused, R_NamesSymbol);
    for (R_xlen_t i = 0; i < XLENGTH(refused); ++i) {
      SET_VECTOR_ELT(named, i, VECTOR_ELT(refused, i));
      SET_STRING_ELT(names, i, STRING_ELT(given, i));
    }
    SET_VECTOR_ELT(named, XLENGTH(refused), ScalarInteger(member));
    SET_STRING_ELT(names, XLENGTH(refused), mkChar("member"));
    setAttrib(named, R_NamesSymbol, names);
    UNPROTECT(3);
    return named;
  }
  return tamsel_r_values_matrix(latest, count);
}

SEXP tamsel_r_set_save(SEXP pointer, SEXP member) {
  const TamselChart_StreamSet* set = setOf(pointer);
  const int i = memberNumber(member);
  const int size = TamselChart_StreamSetSave(set, i, NULL, 0);
  if (size <= 0) error("no member %d", i + 1);
  SEXP bytes = PROTECT(allocVector(RAWSXP, size));
  if (TamselChart_StreamSetSave(set, i, RAW(bytes), size) != size)
    error("the TamselCharts library could not save a member");
  UNPROTECT(1);
  return bytes;
}

/* A list: the member's bar count once loaded, or the reason number and the
   library's sentence for bytes it refuses (the member then unchanged). */
SEXP tamsel_r_set_load(SEXP pointer, SEXP member, SEXP bytes) {
  TamselChart_StreamSet* set = setOf(pointer);
  const int i = memberNumber(member);
  if (TYPEOF(bytes) != RAWSXP) error("a snapshot is a raw vector");
  /* Loaded as a stream first, for the reason the library gives and for the
     bar count a peek tells; then the same bytes replace the member. */
  int reason = TAMSELCHART_SNAPSHOT_OK;
  TamselChart_Stream* stream = tamsel_r_stream_from_snapshot(bytes, &reason);
  if (stream != NULL) {
    TamselChart_Values next;
    const int bars = TamselChart_StreamPeek(stream, 1.0f, 1.0f, &next) - 1;
    TamselChart_StreamDestroy(stream);
    if (TamselChart_StreamSetLoad(set, i, RAW(bytes), (int)XLENGTH(bytes), &reason) == 1) {
      clearValues(&latestOf(pointer)[i]);
      static const char* names[] = {"bars", ""};
      SEXP loaded = PROTECT(mkNamed(VECSXP, names));
      SET_VECTOR_ELT(loaded, 0, ScalarInteger(bars));
      UNPROTECT(1);
      return loaded;
    }
  }
  return tamsel_r_snapshot_refusal(reason);
}

SEXP tamsel_r_set_member_policy(SEXP pointer, SEXP member) {
  return ScalarInteger(TamselChart_StreamSetMemberMissingPolicy(setOf(pointer), memberNumber(member)));
}

SEXP tamsel_r_set_close(SEXP pointer) {
  if (TYPEOF(pointer) == EXTPTRSXP && R_ExternalPtrTag(pointer) == setTag()) destroy(pointer);
  return R_NilValue;
}
