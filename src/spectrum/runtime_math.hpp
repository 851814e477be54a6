// SPDX-License-Identifier: MIT
// The elementary functions the indicators are defined with: the natural
// logarithm, the cosine, the sine (only for the tabulated high-pass) and the
// power function with exponent 0.5, on doubles.
//
// The definition is the real-number result rounded once to the nearest
// double.  Every build computes exactly that with the library's own
// functions (portable_math.cpp), never with a C library's, so the bits do
// not depend on the platform, its C library or the processor.  The short
// wrappers have internal linkage, so kernels built for wider instruction sets
// share no inline code with the baseline build.
#pragma once

namespace tamsel::math {

double PortableLog(double x);
double PortableCos(double x);
double PortableSin(double x);
// Only the exponent 0.5 is supported; any other gives NaN.
double PortablePow(double x, double y);

static inline double Log(double x) { return PortableLog(x); }
static inline double Cos(double x) { return PortableCos(x); }
static inline double Sin(double x) { return PortableSin(x); }

// pow(x, 0.5) correctly rounded: the correctly rounded square root, except
// that -0 gives +0 and -inf gives +inf, as pow defines them.
static inline double PowHalf(double x) { return PortablePow(x, 0.5); }

}  // namespace tamsel::math
