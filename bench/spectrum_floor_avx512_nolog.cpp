// SPDX-License-Identifier: MIT
// The avx512 spectrum kernel with no logarithm at all: a floor for the benchmark.
#define TAMSEL_KERNEL_NAMESPACE floor_avx512_nolog
#define TAMSEL_VECTOR_BYTES 64
#define TAMSEL_KERNEL_LOG_LANES "floor_logarithms.inc"
#define TAMSEL_FLOOR_WITHOUT_LOG 1
#include "spectrum/spectrum_kernel.inc"
