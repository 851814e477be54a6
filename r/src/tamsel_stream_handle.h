/* SPDX-License-Identifier: MIT */
/* The R handle of a library stream.  It travels with the stream's state:
   serialising it (saveRDS(), save(), serialize(), a parallel worker's
   arguments) writes the stream's snapshot, taken at that moment, and reading
   it back loads a new stream that continues exactly where this one was. */
#ifndef TAMSEL_R_STREAM_HANDLE_H
#define TAMSEL_R_STREAM_HANDLE_H

#include <R.h>
#include <R_ext/Rdynload.h>
#include <Rinternals.h>

#include "TamselCharts.h"

/* Registers the handle's class with R; from R_init_tamselcharts. */
void tamsel_r_register_stream_handle(DllInfo* dll);

/* A new handle owning the stream, freed by R's finaliser; raises an R error
   (out of memory) when stream is NULL. */
SEXP tamsel_r_stream_handle(TamselChart_Stream* stream);

/* The stream behind a handle; raises an R error saying why there is none
   (closed, or restored from a copy that could not carry the state). */
TamselChart_Stream* tamsel_r_stream_of(SEXP handle);

/* Makes the handle own stream instead of its current one, which is freed. */
void tamsel_r_stream_replace(SEXP handle, TamselChart_Stream* stream);

/* Frees the handle's stream now (a second call does nothing). */
void tamsel_r_stream_free(SEXP handle);

/* Streams alive in this session, for the tests of the finaliser. */
int tamsel_r_live_stream_count(void);

#endif
