// SPDX-License-Identifier: MIT
// The avx512 many-series engine with no logarithm at all: a floor for the benchmark.
#define TAMSEL_KERNEL_NAMESPACE many_floor_avx512_nolog
#define TAMSEL_VECTOR_BYTES 64
#define TAMSEL_KERNEL_LOG_LANES "floor_logarithms.inc"
#define TAMSEL_FLOOR_WITHOUT_LOG 1
// Declared first, so that the engine defines the floor's kSeriesLanes for the
// benchmark to take.
#include "many_series_floors.hpp"
#include "multi/series_lanes.inc"
