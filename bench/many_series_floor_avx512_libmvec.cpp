// SPDX-License-Identifier: MIT
// The avx512 many-series engine with glibc's vector logarithm (libmvec, not correctly rounded): a floor for the
// benchmark.
#define TAMSEL_KERNEL_NAMESPACE many_floor_avx512_libmvec
#define TAMSEL_VECTOR_BYTES 64
#define TAMSEL_KERNEL_LOG_LANES "floor_logarithms.inc"
// Declared first, so that the engine defines the floor's kSeriesLanes for the
// benchmark to take.
#include "many_series_floors.hpp"
#include "multi/series_lanes.inc"
