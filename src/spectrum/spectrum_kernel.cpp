#include "spectrum_kernel.hpp"

#include <cstdlib>
#include <cstring>

namespace tamsel {

const SpectrumTarget& ChooseSpectrumTarget(const X86VectorSupport& supported, const char* requested) {
  static const SpectrumTarget baselineTarget{"baseline", &baseline::UpdateSpectrum};
#if defined(TAMSEL_SIMD_DISPATCH)
  static const SpectrumTarget candidates[] = {
      {"avx512", &avx512::UpdateSpectrum},
      {"avx2", &avx2::UpdateSpectrum},
  };
  const bool runs[] = {supported.Avx512, supported.Avx2};
  for (int i = 0; i < 2; ++i) {
    const bool named = requested == nullptr || std::strcmp(requested, candidates[i].Name) == 0;
    if (named && runs[i]) return candidates[i];
  }
#else
  (void)supported;
  (void)requested;
#endif
  return baselineTarget;
}

const SpectrumTarget& ActiveSpectrumTarget() {
  static const SpectrumTarget& target =
      ChooseSpectrumTarget(DecodeX86VectorSupport(ReadX86FeatureWords()), std::getenv("TAMSELCHARTS_SIMD"));
  return target;
}

}  // namespace tamsel
