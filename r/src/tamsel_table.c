/* SPDX-License-Identifier: MIT */
/* What the library tells about itself, for the R code to take instead of
   keeping copies: the indicator table, the missing-price policies' words,
   the column-name rule and the versions. */
#include <R.h>
#include <Rinternals.h>
#include <stdio.h>

#include "TamselCharts.h"

/* The indicator table as a list of equally long vectors, one element per
   indicator in the library's order: column, title, export, warmup, lowest,
   highest, mayBeNaN. */
SEXP tamsel_r_indicator_table(void) {
  const int count = TamselChart_IndicatorCount();
  static const char* names[] = {"column", "title", "export", "warmup", "lowest", "highest", "mayBeNaN", ""};
  SEXP table = PROTECT(mkNamed(VECSXP, names));
  SEXP column = PROTECT(allocVector(STRSXP, count));
  SEXP title = PROTECT(allocVector(STRSXP, count));
  SEXP exportName = PROTECT(allocVector(STRSXP, count));
  SEXP warmup = PROTECT(allocVector(INTSXP, count));
  SEXP lowest = PROTECT(allocVector(REALSXP, count));
  SEXP highest = PROTECT(allocVector(REALSXP, count));
  SEXP mayBeNaN = PROTECT(allocVector(LGLSXP, count));
  for (int i = 0; i < count; ++i) {
    const TamselChart_IndicatorInfo* info = TamselChart_Indicator(i);
    if (info == NULL) error("the library has no indicator %d of %d", i, count);
    SET_STRING_ELT(column, i, mkChar(info->column));
    SET_STRING_ELT(title, i, mkChar(info->title));
    SET_STRING_ELT(exportName, i, mkChar(info->exportName));
    INTEGER(warmup)[i] = info->warmupBars;
    REAL(lowest)[i] = (double)info->lowest;
    REAL(highest)[i] = (double)info->highest;
    LOGICAL(mayBeNaN)[i] = info->mayBeNaN != 0;
  }
  SET_VECTOR_ELT(table, 0, column);
  SET_VECTOR_ELT(table, 1, title);
  SET_VECTOR_ELT(table, 2, exportName);
  SET_VECTOR_ELT(table, 3, warmup);
  SET_VECTOR_ELT(table, 4, lowest);
  SET_VECTOR_ELT(table, 5, highest);
  SET_VECTOR_ELT(table, 6, mayBeNaN);
  UNPROTECT(8);
  return table;
}

/* The policies' words, in the order of their numbers (the first is 0). */
SEXP tamsel_r_missing_policies(void) {
  int count = 0;
  while (TamselChart_MissingPolicyName(count) != NULL) ++count;
  SEXP words = PROTECT(allocVector(STRSXP, count));
  for (int i = 0; i < count; ++i) SET_STRING_ELT(words, i, mkChar(TamselChart_MissingPolicyName(i)));
  UNPROTECT(1);
  return words;
}

/* For each of the header names, whether it names the wanted column; an NA
   name names nothing. */
SEXP tamsel_r_column_matches(SEXP headerNames, SEXP wanted) {
  if (TYPEOF(headerNames) != STRSXP) error("column names must be character");
  if (TYPEOF(wanted) != STRSXP || XLENGTH(wanted) != 1 || STRING_ELT(wanted, 0) == NA_STRING)
    error("the wanted column must be one name");
  const char* wantedName = translateCharUTF8(STRING_ELT(wanted, 0));
  const R_xlen_t count = XLENGTH(headerNames);
  SEXP matches = PROTECT(allocVector(LGLSXP, count));
  for (R_xlen_t i = 0; i < count; ++i) {
    SEXP name = STRING_ELT(headerNames, i);
    LOGICAL(matches)[i] = name != NA_STRING && TamselChart_ColumnNameMatches(translateCharUTF8(name), wantedName);
  }
  UNPROTECT(1);
  return matches;
}

/* The version of the header compiled in and of the library running. */
SEXP tamsel_r_versions(void) {
  static const char* names[] = {"header", "library", ""};
  SEXP versions = PROTECT(mkNamed(STRSXP, names));
  char header[64];
  snprintf(header, sizeof header, "%d.%d.%d", TAMSELCHARTS_VERSION_MAJOR, TAMSELCHARTS_VERSION_MINOR,
           TAMSELCHARTS_VERSION_PATCH);
  SET_STRING_ELT(versions, 0, mkChar(header));
  SET_STRING_ELT(versions, 1, mkChar(TamselChart_Version()));
  UNPROTECT(1);
  return versions;
}
