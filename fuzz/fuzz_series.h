/* SPDX-License-Identifier: MIT */
/*
 * The series a library fuzz input stands for (layout in library_checks.hpp),
 * in C so that every program that computes the corpus digests decodes the
 * inputs with this one code: the replay program of each native build, the
 * 32-bit PE loader and the Windows host of the DLL tests.
 */
#ifndef TAMSEL_FUZZ_SERIES_H
#define TAMSEL_FUZZ_SERIES_H

#ifdef __cplusplus
#include <cstddef>
#include <cstdint>
#else
#include <stddef.h>
#include <stdint.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The longest series an input can ask for, and the longest of the inputs
   that stay short. */
enum { kTamselFuzzMaxBars = 3000, kTamselFuzzShortBars = 300 };

typedef struct {
  float* high; /* count prices each, malloc'ed */
  float* low;
  int count;
  /* Which outputs the partial all-in-one call leaves NULL (bit 0 cycle
     period .. bit 3 trend vigor) and after which bar a stream is cloned. */
  unsigned nullOutputs;
  int cloneAfter;
} TamselFuzzSeries;

/* Decodes any bytes; returns 0 (and an empty series) only when memory ran
   out.  Release the result with TamselFreeFuzzSeries. */
int TamselDecodeFuzzSeries(const uint8_t* data, size_t size, TamselFuzzSeries* series);
void TamselFreeFuzzSeries(TamselFuzzSeries* series);

#ifdef __cplusplus
}
#endif

#endif
