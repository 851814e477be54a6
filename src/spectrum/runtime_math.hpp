// The C library functions the indicators are defined with: the natural
// logarithm, the cosine and the general power function on doubles.
//
// The indicators are exact to the last bit of these functions as the C
// library rounds them, so every call goes through here.  A build may define
// TAMSEL_PORTABLE_MATH to supply its own implementations (portable_math.cpp)
// where the platform's C library rounds differently.  The functions have
// internal linkage, so kernels built for wider instruction sets keep their
// own copies and never share one with the baseline build.
#pragma once

#include <cmath>

namespace tamsel::math {

#if defined(TAMSEL_PORTABLE_MATH)
double PortableLog(double x);
double PortableCos(double x);
double PortablePow(double x, double y);
static inline double Log(double x) { return PortableLog(x); }
static inline double Cos(double x) { return PortableCos(x); }
static inline double Pow(double x, double y) { return PortablePow(x, y); }
#else
static inline double Log(double x) { return std::log(x); }
static inline double Cos(double x) { return std::cos(x); }
static inline double Pow(double x, double y) { return std::pow(x, y); }
#endif

}  // namespace tamsel::math
