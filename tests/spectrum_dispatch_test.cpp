// SPDX-License-Identifier: MIT
// The choice of spectrum kernel: from the processor's CPUID words and the
// operating system's XCR0 to the instruction sets usable, and from those and
// TAMSELCHARTS_SIMD to the kernel.  A kernel chosen wrongly either faults
// (an instruction the processor lacks) or silently corrupts vectors (registers
// the operating system does not save), so each refusal has a row.
#include <gtest/gtest.h>

#include <cstring>

#include "../src/spectrum/spectrum_kernel.hpp"
#include "../src/spectrum/x86_vector_support.hpp"

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

}  // namespace
}  // namespace tamsel::testing
