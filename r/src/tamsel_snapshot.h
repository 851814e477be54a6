/* SPDX-License-Identifier: MIT */
/* A stream's snapshot as an R raw vector and back, for stream$save(),
   tamselStreamLoad() and the serialisation of a stream's handle. */
#ifndef TAMSEL_R_SNAPSHOT_H
#define TAMSEL_R_SNAPSHOT_H

#include <R.h>
#include <Rinternals.h>

#include "TamselCharts.h"

/* The stream's snapshot bytes. */
SEXP tamsel_r_snapshot_of(const TamselChart_Stream* stream);

/* A new stream from the bytes of a raw vector, or NULL with *reason set to
   the library's TAMSELCHART_SNAPSHOT_ reason. */
TamselChart_Stream* tamsel_r_stream_from_snapshot(SEXP bytes, int* reason);

/* The library's refusal of a snapshot for the R code to raise: a list of
   the reason number and the library's sentence. */
SEXP tamsel_r_snapshot_refusal(int reason);

#endif
