// SPDX-License-Identifier: MIT
// The many-series engine for the avx512 instruction set; see series_lanes.inc.
#define TAMSEL_KERNEL_NAMESPACE avx512
#define TAMSEL_VECTOR_BYTES 64
#include "series_lanes.inc"
