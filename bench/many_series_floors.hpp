// SPDX-License-Identifier: MIT
// The many-series engine built around other logarithms
// (many_series_floor_*.cpp): the floors the library's correctly rounded
// engine is measured against.
#pragma once

#include "multi/series_lanes.hpp"

namespace tamsel {
#define TAMSEL_DECLARE_MANY_FLOOR(name)        \
  namespace name {                             \
  extern const SeriesLanesKernel kSeriesLanes; \
  }
TAMSEL_DECLARE_MANY_FLOOR(many_floor_avx2_libmvec)
TAMSEL_DECLARE_MANY_FLOOR(many_floor_avx2_nolog)
TAMSEL_DECLARE_MANY_FLOOR(many_floor_avx512_libmvec)
TAMSEL_DECLARE_MANY_FLOOR(many_floor_avx512_nolog)
#undef TAMSEL_DECLARE_MANY_FLOOR
}  // namespace tamsel
