// SPDX-License-Identifier: MIT
// Which wide vector instruction sets an x86 processor can run for this
// process.  The processor advertising an instruction set is not enough: the
// operating system must also save and restore the wider registers on every
// context switch, or a thread's vectors would be corrupted by another's.  It
// says so in XCR0, readable with XGETBV once CPUID reports OSXSAVE.
#pragma once

#include <cstdint>

namespace tamsel {

// The raw words the decision rests on, read by ReadX86FeatureWords.
struct X86FeatureWords {
  std::uint32_t HighestLeaf = 0;   // CPUID leaf 0, EAX
  std::uint32_t Leaf1Ecx = 0;      // CPUID leaf 1, ECX: AVX, OSXSAVE, FMA
  std::uint32_t Leaf7Ebx = 0;      // CPUID leaf 7 subleaf 0, EBX: AVX2, AVX-512F
  std::uint64_t EnabledState = 0;  // XCR0, or 0 where XGETBV may not be executed
};

struct X86VectorSupport {
  bool Avx2 = false;
  bool Avx512 = false;
};

// The words of the processor running this code; all zero on other
// architectures.
X86FeatureWords ReadX86FeatureWords();

// What the words allow: an instruction set only where the processor has it
// and the operating system saves the registers it uses.
X86VectorSupport DecodeX86VectorSupport(const X86FeatureWords& words);

}  // namespace tamsel
