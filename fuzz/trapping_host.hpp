// SPDX-License-Identifier: MIT
// A call made from a host that unmasks every floating-point exception,
// rounds toward zero and flushes denormals (MXCSR 0xE040, x87 at 24 bits):
// the library must neither trap there nor hand the environment back with a
// flag raised.  Elsewhere than x86 the call is made as it is.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "support/float_control_words.h"

namespace tamsel::fuzz {

template <typename Call>
auto FromTrappingHost(const char* what, Call call) {
#if defined(__i386__) || defined(__x86_64__)
  const FloatControlWords host = {0x0C40, 0x00, 0xE040};
  const FloatControlWords own = ReadFloatControlWords();
  InstallFloatControlWords(host);
  const auto result = call();
  const FloatControlWords after = ReadFloatControlWords();
  InstallFloatControlWords(own);
  if (!SameFloatControlWords(after, host)) {
    std::fprintf(stderr, "tamsel fuzz check failed: %s left the host's environment changed (MXCSR %#x)\n", what,
                 static_cast<unsigned>(after.mxcsr));
    std::abort();
  }
  return result;
#else
  (void)what;
  return call();
#endif
}

}  // namespace tamsel::fuzz
