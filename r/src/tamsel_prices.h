/* SPDX-License-Identifier: MIT */
/* R's numeric vectors as the library's 32-bit float price arrays, with the
   library's missing-price policy applied. */
#ifndef TAMSEL_R_PRICES_H
#define TAMSEL_R_PRICES_H

#include <R.h>
#include <Rinternals.h>

#include "TamselCharts.h"

/* The number of bars of two equally long double vectors, checked against the
   C interface's int count; raises an R error otherwise. */
int tamsel_r_bar_count(SEXP high, SEXP low);

/* A policy number from R (an integer or a double holding one), checked
   against the library's list of policies; raises an R error otherwise. */
int tamsel_r_policy(SEXP policy);

/* A refused price as an R list: kind (the TAMSELCHART_PRICE_ number), text
   (the library's description), bar, column (0 high, 1 low) and price. */
SEXP tamsel_r_problem(const TamselChart_PriceProblem* problem);

/* Values of count bars (or members) as a count x 4 double matrix, one
   column per indicator in the library's order. */
SEXP tamsel_r_values_matrix(const TamselChart_Values* values, int count);

#endif
