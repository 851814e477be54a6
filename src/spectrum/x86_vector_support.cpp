// SPDX-License-Identifier: MIT
#include "x86_vector_support.hpp"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace tamsel {
namespace {

constexpr std::uint32_t kLeaf1Avx = 1u << 28;
constexpr std::uint32_t kLeaf1OsXsave = 1u << 27;
constexpr std::uint32_t kLeaf1Fma = 1u << 12;
constexpr std::uint32_t kLeaf7Avx2 = 1u << 5;
constexpr std::uint32_t kLeaf7Avx512F = 1u << 16;
// XCR0: SSE (bit 1) and the upper halves of YMM0-15 (bit 2) ...
constexpr std::uint64_t kYmmState = 0x06;
// ... and for AVX-512 also the opmask registers (bit 5), the upper halves of
// ZMM0-15 (bit 6) and ZMM16-31 (bit 7).
constexpr std::uint64_t kZmmState = 0xE6;

bool Has(std::uint64_t word, std::uint64_t bits) { return (word & bits) == bits; }

}  // namespace

X86FeatureWords ReadX86FeatureWords() {
  X86FeatureWords words;
#if defined(__i386__) || defined(__x86_64__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  // __get_cpuid_max also finds out whether a 32-bit processor has CPUID.
  words.HighestLeaf = __get_cpuid_max(0, nullptr);
  if (words.HighestLeaf >= 1 && __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0) words.Leaf1Ecx = ecx;
  if (words.HighestLeaf >= 7 && __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) != 0) words.Leaf7Ebx = ebx;
  // XGETBV is an invalid instruction unless the OS has enabled XSAVE.
  if (Has(words.Leaf1Ecx, kLeaf1OsXsave)) {
    std::uint32_t low = 0, high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    words.EnabledState = (static_cast<std::uint64_t>(high) << 32) | low;
  }
#endif
  return words;
}

X86VectorSupport DecodeX86VectorSupport(const X86FeatureWords& words) {
  X86VectorSupport support;
  if (words.HighestLeaf < 7 || !Has(words.Leaf1Ecx, kLeaf1Avx | kLeaf1OsXsave)) return support;
  // Both wide kernels fuse multiply-adds in their logarithm's quick way.
  support.Avx2 =
      Has(words.Leaf1Ecx, kLeaf1Fma) && Has(words.EnabledState, kYmmState) && Has(words.Leaf7Ebx, kLeaf7Avx2);
  // The AVX-512 kernel is compiled with every instruction set up to AVX2
  // enabled as well.
  support.Avx512 = support.Avx2 && Has(words.EnabledState, kZmmState) && Has(words.Leaf7Ebx, kLeaf7Avx512F);
  return support;
}

}  // namespace tamsel
