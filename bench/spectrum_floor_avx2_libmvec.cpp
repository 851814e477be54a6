// SPDX-License-Identifier: MIT
// The avx2 spectrum kernel with glibc's vector logarithm (libmvec): a floor for the benchmark.
#define TAMSEL_KERNEL_NAMESPACE floor_avx2_libmvec
#define TAMSEL_VECTOR_BYTES 32
#define TAMSEL_KERNEL_LOG_LANES "floor_logarithms.inc"
#include "spectrum/spectrum_kernel.inc"
