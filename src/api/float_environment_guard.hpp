// SPDX-License-Identifier: MIT
// The floating-point environment every entry point computes in, whatever the
// caller runs with.
//
// Hosts unmask exceptions (a Delphi host traps on invalid operation, division
// by zero and overflow), round toward zero, flush denormals to zero or run the
// x87 unit at another precision.  The indicators divide 0 by 0 on a flat
// window and compare NaN prices by design, and their bits are defined for
// round-to-nearest with gradual underflow.  So each call switches to the
// library's own environment on entry (every exception masked, no flag raised,
// round to nearest, no flush-to-zero, denormals read as they are) and, on the
// way out, hands the caller's environment back exactly: control words and
// flags as they were, so nothing raised inside becomes pending for the host.
//
// On x86 the SSE unit computes every double.  On 32-bit x86 the x87 unit is
// switched too: the calling convention returns doubles on its stack.  On
// x86-64 nothing in the library executes an x87 instruction, so its control
// word is not switched (switching its exception masks costs more than a bar
// of the stream); the caller's x87 words are still checked on the way out and
// put back if anything beneath the call changed them.
#pragma once

#include <cstdint>

#if !(defined(__i386__) || defined(__x86_64__))
#include <cfenv>
#endif

namespace tamsel {

#if defined(__i386__) || defined(__x86_64__)

class FloatEnvironmentGuard {
 public:
  FloatEnvironmentGuard() noexcept {
    asm volatile("fnstsw %0" : "=m"(callerX87Status_)::"memory");
    asm volatile("fnstcw %0" : "=m"(callerX87Control_)::"memory");
#if defined(__i386__)
    // A flag left set under an unmasked exception is pending and would fire
    // on the first x87 instruction that waits, fldcw included.
    if ((callerX87Status_ & kX87FlagBits) != 0) asm volatile("fnclex" ::: "memory");
    if (callerX87Control_ != kLibraryX87Control) asm volatile("fldcw %0" ::"m"(kLibraryX87Control) : "memory");
#endif
    asm volatile("stmxcsr %0" : "=m"(callerMxcsr_)::"memory");
    // Flags raised before the call change nothing inside it (every exception
    // is masked), so a caller whose controls are the library's is left as it
    // is: on some processors a write of MXCSR that clears a raised flag takes
    // about 25 ns, a tenth of a bar pushed into a stream.
    if ((callerMxcsr_ & kMxcsrControlBits) != kLibraryMxcsr) asm volatile("ldmxcsr %0" ::"m"(kLibraryMxcsr) : "memory");
  }

  ~FloatEnvironmentGuard() {
    std::uint16_t status, control;
    asm volatile("fnstsw %0" : "=m"(status)::"memory");
    asm volatile("fnstcw %0" : "=m"(control)::"memory");
    if ((status & kX87FlagBits) != (callerX87Status_ & kX87FlagBits)) {
      RestoreX87Environment();
    } else if (control != callerX87Control_) {
      asm volatile("fldcw %0" ::"m"(callerX87Control_) : "memory");
    }
    // Written back only where the call changed it: flags it raised that the
    // caller had not, or the library's controls.
    std::uint32_t mxcsr;
    asm volatile("stmxcsr %0" : "=m"(mxcsr)::"memory");
    if (mxcsr != callerMxcsr_) asm volatile("ldmxcsr %0" ::"m"(callerMxcsr_) : "memory");
  }

  FloatEnvironmentGuard(const FloatEnvironmentGuard&) = delete;
  FloatEnvironmentGuard& operator=(const FloatEnvironmentGuard&) = delete;

 private:
  // The x87 environment as fnstenv stores it in 32-bit protected mode, the
  // layout both 32- and 64-bit code get by default.
  struct X87Environment {
    std::uint16_t control, unused0, status, unused1;
    std::uint32_t tagAndPointers[5];
  };
  static_assert(sizeof(X87Environment) == 28);

  // The six exception flags, the stack fault and the error summary.
  static constexpr std::uint16_t kX87FlagBits = 0x00FF;
#if defined(__i386__)
  // All exceptions masked, round to nearest, and the precision the platform's
  // code is written for: double on Windows, whose compilers assume it,
  // extended on Linux, whose C library's x87 routines rely on it.
#if defined(_WIN32)
  static constexpr std::uint16_t kLibraryX87Control = 0x027F;
#else
  static constexpr std::uint16_t kLibraryX87Control = 0x037F;
#endif
#endif
  // The SSE unit computes every double of the library: all exceptions masked,
  // round to nearest, neither flush-to-zero nor denormals-are-zero (and no
  // flag raised, unless the caller's controls were these already and its
  // flags are kept, as nothing inside reads them).
  static constexpr std::uint32_t kLibraryMxcsr = 0x1F80;
  // Everything but the six exception flags.
  static constexpr std::uint32_t kMxcsrControlBits = ~std::uint32_t{0x3F};

  // Flags can only be put back through a whole environment; this happens
  // only when the call raised an x87 flag or the caller had one set (or, on
  // x86-64, when something beneath the call cleared them).
  void RestoreX87Environment() const noexcept {
    X87Environment environment;
    // fnclex first, so that loading the caller's environment cannot fire an
    // exception left pending inside the call.
    asm volatile("fnstenv %0\n\tfnclex" : "=m"(environment)::"memory");
    environment.control = callerX87Control_;
    environment.status =
        static_cast<std::uint16_t>((environment.status & ~kX87FlagBits) | (callerX87Status_ & kX87FlagBits));
    asm volatile("fldenv %0" ::"m"(environment) : "memory");
  }

  std::uint16_t callerX87Status_;
  std::uint16_t callerX87Control_;
  std::uint32_t callerMxcsr_;
};

#else

// Elsewhere the C library's whole environment: its default is every
// exception masked and round to nearest.
class FloatEnvironmentGuard {
 public:
  FloatEnvironmentGuard() noexcept {
    std::fegetenv(&caller_);
    std::fesetenv(FE_DFL_ENV);
  }
  ~FloatEnvironmentGuard() { std::fesetenv(&caller_); }

  FloatEnvironmentGuard(const FloatEnvironmentGuard&) = delete;
  FloatEnvironmentGuard& operator=(const FloatEnvironmentGuard&) = delete;

 private:
  std::fenv_t caller_;
};

#endif

// Hands an argument passed by value to the guarded computation: the compiler
// cannot see through the barrier, so no arithmetic on the value can be moved
// ahead of the guard's switch of environments.
template <class T>
T AfterEnvironmentSwitch(T value) noexcept {
  asm volatile("" : "+m"(value)::"memory");
  return value;
}

}  // namespace tamsel
