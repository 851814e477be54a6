// SPDX-License-Identifier: MIT
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

// Threads that call first may each choose; they all choose the same target
// and store the same pointer, so whichever store lands last changes nothing.
std::atomic<const SpectrumTarget*> activeTarget{nullptr};

}  // namespace

const SpectrumTarget& ChooseSpectrumTarget(const X86VectorSupport& supported, const char* requested) {
#if defined(TAMSEL_SIMD_DISPATCH)
  const bool runs[] = {supported.Avx512, supported.Avx2};
  for (int i = 0; i < 2; ++i) {
    const bool named = requested == nullptr || std::strcmp(requested, kWideTargets[i].Name) == 0;
    if (named && runs[i]) return kWideTargets[i];
  }
#else
  (void)supported;
  (void)requested;
#endif
  return kBaselineTarget;
}

const SpectrumTarget& ActiveSpectrumTarget() {
  const SpectrumTarget* target = activeTarget.load(std::memory_order_acquire);
  if (target == nullptr) {
#if defined(TAMSEL_SIMD_DISPATCH)
    target = &ChooseSpectrumTarget(DecodeX86VectorSupport(ReadX86FeatureWords()), std::getenv("TAMSELCHARTS_SIMD"));
#else
    // A build with one kernel reads neither the processor nor the
    // environment, so a WebAssembly module imports no access to either.
    target = &kBaselineTarget;
#endif
    activeTarget.store(target, std::memory_order_release);
  }
  return *target;
}

void UseSpectrumTarget(const SpectrumTarget& target) { activeTarget.store(&target, std::memory_order_release); }

}  // namespace tamsel
