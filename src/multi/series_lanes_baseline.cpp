// SPDX-License-Identifier: MIT
// The many-series engine for the baseline instruction set; see series_lanes.inc.
#define TAMSEL_KERNEL_NAMESPACE baseline
#define TAMSEL_VECTOR_BYTES 16
#include "series_lanes.inc"
