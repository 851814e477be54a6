/* SPDX-License-Identifier: MIT */
/* R's numeric vectors as the library's 32-bit float price arrays. */
#ifndef TAMSEL_R_PRICES_H
#define TAMSEL_R_PRICES_H

#include <R.h>
#include <Rinternals.h>

/* A price rounded to the nearest float, as the C interface takes it.  A value
   past the largest float becomes an infinity of its sign, as IEEE rounding
   gives it, without relying on an out-of-range conversion. */
float tamsel_r_price(double value);

/* The number of bars of two equally long double vectors, checked against the
   C interface's int count; raises an R error otherwise. */
int tamsel_r_bar_count(SEXP high, SEXP low);

/* high and low as newly R_alloc'ed float arrays of count bars. */
void tamsel_r_prices(SEXP high, SEXP low, int count, float** highOut, float** lowOut);

#endif
