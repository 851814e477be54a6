// SPDX-License-Identifier: MIT
// The many-series engine for the avx2 instruction set; see series_lanes.inc.
#define TAMSEL_KERNEL_NAMESPACE avx2
#define TAMSEL_VECTOR_BYTES 32
#include "series_lanes.inc"
