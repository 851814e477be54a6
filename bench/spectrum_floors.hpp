// SPDX-License-Identifier: MIT
// The spectrum kernel built around other logarithms (spectrum_floor_*.cpp):
// the floors the library's correctly rounded kernel is measured against.
#pragma once

#include "spectrum/cycle_state.hpp"

namespace tamsel {
#define TAMSEL_DECLARE_FLOOR(name)        \
  namespace name {                        \
  void UpdateSpectrum(CycleState& state); \
  }
TAMSEL_DECLARE_FLOOR(floor_avx2_libmvec)
TAMSEL_DECLARE_FLOOR(floor_avx2_nolog)
TAMSEL_DECLARE_FLOOR(floor_avx512_libmvec)
TAMSEL_DECLARE_FLOOR(floor_avx512_nolog)
#undef TAMSEL_DECLARE_FLOOR
}  // namespace tamsel
