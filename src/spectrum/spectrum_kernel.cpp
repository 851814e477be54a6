#include "spectrum_kernel.hpp"

#include <cstdlib>
#include <cstring>

namespace tamsel {
namespace {

SpectrumTarget ChooseTarget() {
  const SpectrumTarget baselineTarget{"baseline", &baseline::UpdateSpectrum};
#if defined(TAMSEL_SIMD_DISPATCH)
  const SpectrumTarget candidates[] = {
      {"avx512", &avx512::UpdateSpectrum},
      {"avx2", &avx2::UpdateSpectrum},
  };
  const bool supported[] = {
      __builtin_cpu_supports("avx512f") != 0,
      __builtin_cpu_supports("avx2") != 0,
  };
  const char* requested = std::getenv("TAMSELCHARTS_SIMD");
  if (requested != nullptr && std::strcmp(requested, "baseline") == 0) return baselineTarget;
  for (int i = 0; i < 2; ++i) {
    const bool named = requested == nullptr || std::strcmp(requested, candidates[i].Name) == 0;
    if (named && supported[i]) return candidates[i];
  }
#endif
  return baselineTarget;
}

}  // namespace

const SpectrumTarget& ActiveSpectrumTarget() {
  static const SpectrumTarget target = ChooseTarget();
  return target;
}

}  // namespace tamsel
