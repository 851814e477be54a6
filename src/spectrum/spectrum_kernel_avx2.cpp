// SPDX-License-Identifier: MIT
// The spectrum kernel for the avx2 instruction set; see spectrum_kernel.inc.
#define TAMSEL_KERNEL_NAMESPACE avx2
#define TAMSEL_VECTOR_BYTES 32
#include "spectrum_kernel.inc"
