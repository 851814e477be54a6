#include "spectrum_kernel.hpp"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace tamsel {
namespace {

// Constants fixed at compile time: choosing a target takes no lock and no
// start-up code from the C++ runtime, which the library does not link.
constexpr SpectrumTarget kBaselineTarget{"baseline", &baseline::UpdateSpectrum};
#if defined(TAMSEL_SIMD_DISPATCH)
constexpr SpectrumTarget kWideTargets[] = {
    {"avx512", &avx512::UpdateSpectrum},
    {"avx2", &avx2::UpdateSpectrum},
};
#endif

const SpectrumTarget* ChooseTarget() {
#if defined(TAMSEL_SIMD_DISPATCH)
  const bool supported[] = {
      __builtin_cpu_supports("avx512f") != 0,
      __builtin_cpu_supports("avx2") != 0,
  };
  const char* requested = std::getenv("TAMSELCHARTS_SIMD");
  if (requested != nullptr && std::strcmp(requested, "baseline") == 0) return &kBaselineTarget;
  for (int i = 0; i < 2; ++i) {
    const bool named = requested == nullptr || std::strcmp(requested, kWideTargets[i].Name) == 0;
    if (named && supported[i]) return &kWideTargets[i];
  }
#endif
  return &kBaselineTarget;
}

// Threads that call first may each choose; they all choose the same target
// and store the same pointer, so whichever store lands last changes nothing.
std::atomic<const SpectrumTarget*> activeTarget{nullptr};

}  // namespace

const SpectrumTarget& ActiveSpectrumTarget() {
  const SpectrumTarget* target = activeTarget.load(std::memory_order_acquire);
  if (target == nullptr) {
    target = ChooseTarget();
    activeTarget.store(target, std::memory_order_release);
  }
  return *target;
}

}  // namespace tamsel
