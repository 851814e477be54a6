// SPDX-License-Identifier: MIT
// The spectrum kernel for the baseline instruction set; see spectrum_kernel.inc.
#define TAMSEL_KERNEL_NAMESPACE baseline
#define TAMSEL_VECTOR_BYTES 16
#include "spectrum_kernel.inc"
