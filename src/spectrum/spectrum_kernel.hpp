// SPDX-License-Identifier: MIT
// Chooses, once per process, the widest build of the spectrum kernel that
// the processor runs.  Every build computes the same bits; they differ only
// in how many filters one instruction serves.
#pragma once

#include "cycle_state.hpp"
#include "x86_vector_support.hpp"

namespace tamsel {

// Each build also offers its vectorized logarithm on its own, for the tests
// that hold it against a high-precision reference, and its quotients by one
// divisor, for the tests that hold them against the division.
namespace baseline {
void UpdateSpectrum(CycleState& state);
void LogOfEach(const double* arguments, double* results, int count);
void QuotientsOfEach(const double* dividends, double divisor, double* results, int count);
}  // namespace baseline
#if defined(TAMSEL_SIMD_DISPATCH)
namespace avx2 {
void UpdateSpectrum(CycleState& state);
void LogOfEach(const double* arguments, double* results, int count);
void QuotientsOfEach(const double* dividends, double divisor, double* results, int count);
}  // namespace avx2
namespace avx512 {
void UpdateSpectrum(CycleState& state);
void LogOfEach(const double* arguments, double* results, int count);
void QuotientsOfEach(const double* dividends, double divisor, double* results, int count);
}  // namespace avx512
#endif

using SpectrumKernel = void (*)(CycleState&);

struct SpectrumTarget {
  const char* Name;
  SpectrumKernel Kernel;
};

// The target in use: the widest one the processor and the operating system
// support, or the one named by the environment variable TAMSELCHARTS_SIMD
// (baseline, avx2 or avx512) when they support that one.  Read once, on
// first use.
const SpectrumTarget& ActiveSpectrumTarget();

// Makes target the one in use from now on, for the benchmark's kernels
// built around other logarithms.  Not for the library's callers: every
// target of the library computes the same bits, and other ones need not.
void UseSpectrumTarget(const SpectrumTarget& target);

// The choice itself: the widest supported target when `requested` is NULL,
// else the named one if supported, else the baseline.  Builds without the
// wider kernels always choose the baseline.
const SpectrumTarget& ChooseSpectrumTarget(const X86VectorSupport& supported, const char* requested);

}  // namespace tamsel
