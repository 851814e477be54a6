/* SPDX-License-Identifier: MIT */
/*
 * The digest every build computes over its outputs, so that runs of the
 * same inputs by different builds (kernel builds, compilers, 32-bit x86, the
 * Windows DLLs, AArch64) can be compared input by input: FNV-1a over the bits
 * of the four output series in turn (cycle period, signal-to-noise ratio,
 * swing position, trend vigor), every NaN counted as one, since the library
 * promises no particular NaN payload.
 */
#ifndef TAMSEL_OUTPUT_DIGEST_H
#define TAMSEL_OUTPUT_DIGEST_H

#ifdef __cplusplus
#include <cstdint>
#else
#include <stdint.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

uint64_t TamselOutputDigest(const float* const outputs[4], int count);

#ifdef __cplusplus
}
#endif

#endif
