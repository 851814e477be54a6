// SPDX-License-Identifier: MIT
// The avx512 spectrum kernel with glibc's vector logarithm (libmvec): a floor for the benchmark.
#define TAMSEL_KERNEL_NAMESPACE floor_avx512_libmvec
#define TAMSEL_VECTOR_BYTES 64
#define TAMSEL_KERNEL_LOG_LANES "floor_logarithms.inc"
#include "spectrum/spectrum_kernel.inc"
