// SPDX-License-Identifier: MIT
// The choice of spectrum kernel: from the processor's CPUID words and the
// operating system's XCR0 to the instruction sets usable, and from those and
// TAMSELCHARTS_SIMD to the kernel.  A kernel chosen wrongly either faults
// (an instruction the processor lacks) or silently corrupts vectors (registers
// the operating system does not save), so each refusal has a row.
//
// The kernels are interchangeable only if each computes the same bits: the
// spectrum of hand-made bars (the decibels and the dominant cycle) is held
// against a filter-by-filter transcription for every kernel this processor
// runs, in the cases the vector code treats apart.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "../src/spectrum/filter_bank_design.hpp"
#include "../src/spectrum/runtime_math.hpp"
#include "../src/spectrum/spectrum_kernel.hpp"
#include "../src/spectrum/x86_vector_support.hpp"
#include "TamselCharts.h"

namespace tamsel::testing {
namespace {

constexpr std::uint32_t kAvx = 1u << 28, kOsXsave = 1u << 27, kFma = 1u << 12;
constexpr std::uint32_t kAvx2 = 1u << 5, kAvx512F = 1u << 16;
constexpr std::uint64_t kSse = 0x2, kYmm = 0x4, kOpmask = 0x20, kZmmHigh = 0x40, kZmm16To31 = 0x80;
constexpr std::uint64_t kAllZmm = kSse | kYmm | kOpmask | kZmmHigh | kZmm16To31;

TEST(SpectrumDispatch, NeedsTheProcessorAndTheOperatingSystem) {
  struct Row {
    const char* what;
    X86FeatureWords words;
    bool avx2, avx512;
  };
  const Row rows[] = {
      {"everything", {13, kAvx | kFma | kOsXsave, kAvx2 | kAvx512F, kAllZmm}, true, true},
      {"AVX2 processor, OS saves YMM only", {13, kAvx | kFma | kOsXsave, kAvx2 | kAvx512F, kSse | kYmm}, true, false},
      {"OS has not enabled XSAVE", {13, kAvx | kFma, kAvx2 | kAvx512F, 0}, false, false},
      {"OS saves XMM only", {13, kAvx | kFma | kOsXsave, kAvx2 | kAvx512F, kSse}, false, false},
      {"OS saves YMM but not XMM", {13, kAvx | kFma | kOsXsave, kAvx2, kYmm}, false, false},
      {"no AVX bit", {13, kFma | kOsXsave, kAvx2 | kAvx512F, kAllZmm}, false, false},
      // The wide kernels' logarithm fuses multiply-adds.
      {"AVX2 and AVX-512F without FMA", {13, kAvx | kOsXsave, kAvx2 | kAvx512F, kAllZmm}, false, false},
      {"AVX without AVX2", {13, kAvx | kFma | kOsXsave, 0, kAllZmm}, false, false},
      {"AVX2 without AVX-512F", {13, kAvx | kFma | kOsXsave, kAvx2, kAllZmm}, true, false},
      {"no opmask state", {13, kAvx | kFma | kOsXsave, kAvx2 | kAvx512F, kAllZmm & ~kOpmask}, true, false},
      {"no upper ZMM16-31 state", {13, kAvx | kFma | kOsXsave, kAvx2 | kAvx512F, kAllZmm & ~kZmm16To31}, true, false},
      {"no leaf 7 (its word is stale)", {6, kAvx | kFma | kOsXsave, kAvx2 | kAvx512F, kAllZmm}, false, false},
      {"nothing at all", {}, false, false},
  };
  for (const Row& row : rows) {
    const X86VectorSupport got = DecodeX86VectorSupport(row.words);
    EXPECT_EQ(got.Avx2, row.avx2) << row.what;
    EXPECT_EQ(got.Avx512, row.avx512) << row.what;
  }
}

TEST(SpectrumDispatch, ChoosesTheWidestOrTheNamedKernel) {
  struct Row {
    X86VectorSupport supported;
    const char* requested;
    const char* want;  // without the wider kernels in this build: always baseline
  };
  const Row rows[] = {
      {{true, true}, nullptr, "avx512"},      {{true, false}, nullptr, "avx2"},
      {{false, false}, nullptr, "baseline"},  {{true, true}, "avx2", "avx2"},
      {{true, true}, "baseline", "baseline"}, {{true, false}, "avx512", "baseline"},
      {{false, false}, "avx2", "baseline"},   {{true, true}, "AVX2", "baseline"},
      {{true, true}, "", "baseline"},
  };
  for (const Row& row : rows) {
#if defined(TAMSEL_SIMD_DISPATCH)
    const char* want = row.want;
#else
    const char* want = "baseline";
#endif
    const SpectrumTarget& got = ChooseSpectrumTarget(row.supported, row.requested);
    EXPECT_STREQ(got.Name, want) << (row.requested ? row.requested : "(none)");
    EXPECT_NE(got.Kernel, nullptr);
  }
}

// The processor running the tests: whatever it offers, the chosen kernel is
// one it runs, and XCR0 is only read where the OS enabled XSAVE.
TEST(SpectrumDispatch, ThisProcessor) {
  const X86FeatureWords words = ReadX86FeatureWords();
  const X86VectorSupport support = DecodeX86VectorSupport(words);
  if ((words.Leaf1Ecx & kOsXsave) == 0) {
    EXPECT_EQ(words.EnabledState, 0u);
  }
  EXPECT_TRUE(support.Avx2 || !support.Avx512);
  const char* name = ChooseSpectrumTarget(support, nullptr).Name;
  std::printf("leaf 1 ECX %08x, leaf 7 EBX %08x, XCR0 %llx: %s\n", words.Leaf1Ecx, words.Leaf7Ebx,
              static_cast<unsigned long long>(words.EnabledState), name);
#if defined(__x86_64__) && defined(TAMSEL_SIMD_DISPATCH)
  // Every x86-64 processor has SSE2, and every OS running one saves XMM.
  EXPECT_GE(words.HighestLeaf, 1u);
#endif
}

// ---- every kernel computes the same spectrum ---------------------------------

struct Kernel {
  const char* name;
  SpectrumKernel update;
};

std::vector<Kernel> KernelsThisProcessorRuns() {
  std::vector<Kernel> all{{"baseline", &baseline::UpdateSpectrum}};
#if defined(TAMSEL_SIMD_DISPATCH)
  if (!__builtin_cpu_supports("fma")) return all;
  if (__builtin_cpu_supports("avx2")) all.push_back({"avx2", &avx2::UpdateSpectrum});
  if (__builtin_cpu_supports("avx512f")) all.push_back({"avx512", &avx512::UpdateSpectrum});
#endif
  return all;
}

constexpr int kFilters = design::kFilterCount;
constexpr double kUnchanged = 12345.0;  // a dominant cycle no bar here writes

// A bar before the filter bank's first one: the kernel takes the band powers
// and the previous decibels as given.
CycleState BarWith(const std::vector<double>& power, const std::vector<double>& previousDecibels) {
  CycleState s{};
  s.BarNumber = design::kFirstBankBar - 1;
  for (int i = 0; i < kFilters; ++i) {
    s.BandPower[i] = power[i];
    s.BandDecibels[i] = previousDecibels[i];
  }
  s.DominantCycle[0] = kUnchanged;
  return s;
}

// The spectrum of one bar, one filter at a time in filter order.
void Transcribed(CycleState& s) {
  double peak = s.BandPower[0];
  for (int i = 0; i < kFilters; ++i)
    if (!(peak >= s.BandPower[i])) peak = s.BandPower[i];
  s.PeakPower = peak;
  double weighted = 0, weights = 0;
  for (int i = 0; i < kFilters; ++i) {
    double raw = s.BandDecibels[i];
    if (peak != 0 && peak == peak && s.BandPower[i] / peak > 0)
      raw = math::Log(0.01 / (1.0 - (0.99 * s.BandPower[i]) / peak)) * -10.0 / 2.302585092994046;
    double decibels = 0.67 * s.BandDecibels[i] + 0.33 * raw;
    if (decibels > 20) decibels = 20;
    s.BandDecibels[i] = decibels;
    const double w = decibels > 6 ? 0.0 : 20 - decibels;
    weighted = weighted + kFilterIndexValue[i] * w;
    weights = weights + w;
  }
  if (weights != 0) s.DominantCycle[0] = (weighted * 0.5) / weights;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void ExpectEveryKernelAsTranscribed(const std::string& what, const std::vector<double>& power,
                                    const std::vector<double>& previousDecibels) {
  CycleState want = BarWith(power, previousDecibels);
  Transcribed(want);
  for (const Kernel& kernel : KernelsThisProcessorRuns()) {
    CycleState got = BarWith(power, previousDecibels);
    kernel.update(got);
    EXPECT_TRUE(SameBits(got.DominantCycle[0], want.DominantCycle[0]))
        << what << ", " << kernel.name << ": dominant cycle " << got.DominantCycle[0] << ", transcribed "
        << want.DominantCycle[0];
    EXPECT_TRUE(SameBits(got.PeakPower, want.PeakPower)) << what << ", " << kernel.name;
    for (int i = 0; i < kFilters; ++i)
      EXPECT_TRUE(SameBits(got.BandDecibels[i], want.BandDecibels[i]))
          << what << ", " << kernel.name << ", filter " << i << ": " << got.BandDecibels[i] << ", transcribed "
          << want.BandDecibels[i];
  }
}

// Filters far below the peak weigh +0 in the centroid; the kernels skip
// whole vectors of them, so the cases put the filters that weigh in one
// vector only: the last filter (alone in a vector of its own in every
// width), a single NaN, one middle filter.
TEST(SpectrumKernels, OnlySomeFiltersNearThePeak) {
  const std::vector<double> faint(kFilters, 1e-6), quiet(kFilters, 20.0);
  {
    std::vector<double> power = faint, previous = quiet;
    power[kFilters - 1] = 1.0;
    previous[kFilters - 1] = 0.0;
    ExpectEveryKernelAsTranscribed("only the last filter", power, previous);
  }
  {
    std::vector<double> power = faint, previous = quiet;
    power[3] = 1.0;
    power[30] = std::numeric_limits<double>::quiet_NaN();  // holds its NaN decibels
    previous[30] = std::numeric_limits<double>::quiet_NaN();
    ExpectEveryKernelAsTranscribed("a NaN filter among filters far down", power, previous);
  }
  {
    std::vector<double> power = faint, previous = quiet;
    power[21] = 1.0;
    previous[21] = 0.0;
    ExpectEveryKernelAsTranscribed("one middle filter", power, previous);
  }
  ExpectEveryKernelAsTranscribed("every filter far down", faint, quiet);
  ExpectEveryKernelAsTranscribed("every filter at the peak", std::vector<double>(kFilters, 1.0),
                                 std::vector<double>(kFilters, 0.0));
}

// Powers the logarithm's quick way is not for, and peaks it is never asked
// about: zero and subnormal powers, a peak of zero, an infinite peak.
TEST(SpectrumKernels, PowersAtTheEdges) {
  std::vector<double> power(kFilters, 0.0), previous(kFilters, 3.0);
  ExpectEveryKernelAsTranscribed("a peak of zero", power, previous);
  for (int i = 0; i < kFilters; ++i) power[i] = i % 3 == 0 ? 0.0 : std::ldexp(1.0, -1074 + i);
  power[10] = 1.0;
  ExpectEveryKernelAsTranscribed("zero and subnormal powers", power, previous);
  power[10] = std::numeric_limits<double>::infinity();
  ExpectEveryKernelAsTranscribed("an infinite peak", power, previous);
  power[10] = 1e300;
  ExpectEveryKernelAsTranscribed("powers more than 2^1000 below the peak", power, previous);
}

TEST(SpectrumKernels, RandomBars) {
  std::mt19937_64 random(2718);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int bar = 0; bar < 2000; ++bar) {
    std::vector<double> power(kFilters), previous(kFilters);
    // Powers spread over many decades, as a filter bank's are.
    for (int i = 0; i < kFilters; ++i) power[i] = std::pow(10.0, -8 * unit(random));
    for (int i = 0; i < kFilters; ++i) previous[i] = 25 * unit(random) - 2;
    ExpectEveryKernelAsTranscribed("random bar " + std::to_string(bar), power, previous);
    if (::testing::Test::HasFailure()) break;
  }
}

// The benchmark's floors run in the library's place through
// UseSpectrumTarget: a target put in place is the one every call takes,
// until the previous one is put back.
int gBarsSeen = 0;
void CountBar(CycleState&) { ++gBarsSeen; }

TEST(SpectrumDispatch, ATargetPutInPlaceRunsEveryBar) {
  const SpectrumTarget& library = ActiveSpectrumTarget();
  const SpectrumTarget counting{"counting", &CountBar};
  const float high[3] = {10, 11, 12}, low[3] = {9, 10, 11};
  float out[3];
  gBarsSeen = 0;
  UseSpectrumTarget(counting);
  EXPECT_EQ(&ActiveSpectrumTarget(), &counting);
  EXPECT_EQ(TamselChart_CyclePeriod(high, low, 3, out), 3);
  UseSpectrumTarget(library);
  EXPECT_EQ(gBarsSeen, 3);
  EXPECT_EQ(&ActiveSpectrumTarget(), &library);
  EXPECT_EQ(TamselChart_CyclePeriod(high, low, 3, out), 3);
  EXPECT_EQ(gBarsSeen, 3);
}

}  // namespace
}  // namespace tamsel::testing
