// SPDX-License-Identifier: MIT
// The spectrum kernel for the avx512 instruction set; see spectrum_kernel.inc.
#define TAMSEL_KERNEL_NAMESPACE avx512
#define TAMSEL_VECTOR_BYTES 64
#include "spectrum_kernel.inc"
