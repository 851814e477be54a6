// Chooses, once per process, the widest build of the spectrum kernel that
// the processor runs.  Every build computes the same bits; they differ only
// in how many filters one instruction serves.
#pragma once

#include "cycle_state.hpp"

namespace tamsel {

// Each build also offers its vectorized logarithm on its own, for the tests
// that hold it against a high-precision reference.
namespace baseline {
void UpdateSpectrum(CycleState& state);
void LogOfEach(const double* arguments, double* results, int count);
}  // namespace baseline
#if defined(TAMSEL_SIMD_DISPATCH)
namespace avx2 {
void UpdateSpectrum(CycleState& state);
void LogOfEach(const double* arguments, double* results, int count);
}  // namespace avx2
namespace avx512 {
void UpdateSpectrum(CycleState& state);
void LogOfEach(const double* arguments, double* results, int count);
}  // namespace avx512
#endif

using SpectrumKernel = void (*)(CycleState&);

struct SpectrumTarget {
  const char* Name;
  SpectrumKernel Kernel;
};

// The target in use: the widest one the processor supports, or the one named
// by the environment variable TAMSELCHARTS_SIMD (baseline, avx2 or avx512)
// when the processor supports that one.  Read once, on first use.
const SpectrumTarget& ActiveSpectrumTarget();

}  // namespace tamsel
