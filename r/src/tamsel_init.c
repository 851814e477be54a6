/* SPDX-License-Identifier: MIT */
/* Registers the .Call entry points; nothing else of the library is visible
   to R or to other packages.  Registers the stream handle's class too. */
#include <R.h>
#include <R_ext/Rdynload.h>
#include <R_ext/Visibility.h>
#include <Rinternals.h>

#include "tamsel_stream_handle.h"

SEXP tamsel_r_indicator_table(void);
SEXP tamsel_r_missing_policies(void);
SEXP tamsel_r_column_matches(SEXP headerNames, SEXP wanted);
SEXP tamsel_r_versions(void);
SEXP tamsel_r_indicator(SEXP high, SEXP low, SEXP which, SEXP policy);
SEXP tamsel_r_all_indicators(SEXP high, SEXP low, SEXP policy);
SEXP tamsel_r_stream_create(SEXP policy);
SEXP tamsel_r_stream_clone(SEXP pointer);
SEXP tamsel_r_stream_reset(SEXP pointer);
SEXP tamsel_r_stream_close(SEXP pointer);
SEXP tamsel_r_stream_push(SEXP pointer, SEXP high, SEXP low);
SEXP tamsel_r_stream_peek(SEXP pointer, SEXP high, SEXP low);
SEXP tamsel_r_stream_save(SEXP handle);
SEXP tamsel_r_stream_load(SEXP bytes);
SEXP tamsel_r_live_streams(void);
SEXP tamsel_r_set_create(SEXP members, SEXP policy);
SEXP tamsel_r_set_push(SEXP pointer, SEXP high, SEXP low, SEXP hasBar);
SEXP tamsel_r_set_save(SEXP pointer, SEXP member);
SEXP tamsel_r_set_load(SEXP pointer, SEXP member, SEXP bytes);
SEXP tamsel_r_set_member_policy(SEXP pointer, SEXP member);
SEXP tamsel_r_set_close(SEXP pointer);

static const R_CallMethodDef callMethods[] = {{"tamsel_r_indicator_table", (DL_FUNC)&tamsel_r_indicator_table, 0},
                                              {"tamsel_r_missing_policies", (DL_FUNC)&tamsel_r_missing_policies, 0},
                                              {"tamsel_r_column_matches", (DL_FUNC)&tamsel_r_column_matches, 2},
                                              {"tamsel_r_versions", (DL_FUNC)&tamsel_r_versions, 0},
                                              {"tamsel_r_indicator", (DL_FUNC)&tamsel_r_indicator, 4},
                                              {"tamsel_r_all_indicators", (DL_FUNC)&tamsel_r_all_indicators, 3},
                                              {"tamsel_r_stream_create", (DL_FUNC)&tamsel_r_stream_create, 1},
                                              {"tamsel_r_stream_clone", (DL_FUNC)&tamsel_r_stream_clone, 1},
                                              {"tamsel_r_stream_reset", (DL_FUNC)&tamsel_r_stream_reset, 1},
                                              {"tamsel_r_stream_close", (DL_FUNC)&tamsel_r_stream_close, 1},
                                              {"tamsel_r_stream_push", (DL_FUNC)&tamsel_r_stream_push, 3},
                                              {"tamsel_r_stream_peek", (DL_FUNC)&tamsel_r_stream_peek, 3},
                                              {"tamsel_r_stream_save", (DL_FUNC)&tamsel_r_stream_save, 1},
                                              {"tamsel_r_stream_load", (DL_FUNC)&tamsel_r_stream_load, 1},
                                              {"tamsel_r_live_streams", (DL_FUNC)&tamsel_r_live_streams, 0},
                                              {"tamsel_r_set_create", (DL_FUNC)&tamsel_r_set_create, 2},
                                              {"tamsel_r_set_push", (DL_FUNC)&tamsel_r_set_push, 4},
                                              {"tamsel_r_set_save", (DL_FUNC)&tamsel_r_set_save, 2},
                                              {"tamsel_r_set_load", (DL_FUNC)&tamsel_r_set_load, 3},
                                              {"tamsel_r_set_member_policy", (DL_FUNC)&tamsel_r_set_member_policy, 2},
                                              {"tamsel_r_set_close", (DL_FUNC)&tamsel_r_set_close, 1},
                                              {NULL, NULL, 0}};

void attribute_visible R_init_tamselcharts(DllInfo* dll) {
  R_registerRoutines(dll, NULL, callMethods, NULL, NULL);
  R_useDynamicSymbols(dll, FALSE);
  R_forceSymbols(dll, TRUE);
  tamsel_r_register_stream_handle(dll);
}
