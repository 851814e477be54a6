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
#include <cstdint>
#include <cstring>

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

// pow(x, 0.5), bit for bit as the C library's pow rounds it, at about the
// cost of a square root.  The correctly rounded square root and the C
// library's pow differ only where the exact root lies so close to a rounding
// midpoint that pow's own error (documented below 0.04 of a unit in the last
// place before its final rounding) can tip it over.  The exact residual
// x - s^2, formed without fused operations, tells how far the root is from
// the midpoints around s; only roots within 1/16 of a unit of one, and
// arguments outside the plainly normal range, go to pow itself.
static inline double PowHalf(double x) {
#if !defined(TAMSEL_PORTABLE_MATH)
  if (x >= 0x1p-1000 && x <= 0x1p+1000) {
    const double s = std::sqrt(x);
    std::uint64_t bits;
    std::memcpy(&bits, &s, sizeof bits);
    // At a power of two the neighbour below is half as far: leave it to pow.
    if ((bits & 0x000FFFFFFFFFFFFFULL) != 0) {
      const double split = s * 134217729.0;  // 2^27 + 1
      const double high = split - (split - s);
      const double low = s - high;
      const double square = s * s;
      const double squareError = ((high * high - square) + 2 * high * low) + low * low;
      const double residual = (x - square) - squareError;
      std::uint64_t exponentBits = bits & 0x7FF0000000000000ULL;
      double unit;
      std::memcpy(&unit, &exponentBits, sizeof unit);
      unit *= 0x1p-52;
      // |x - s^2| = 2 s |root - s| to first order; within 0.4375 units of s
      // the root is at least 1/16 of a unit from either midpoint.
      if (std::fabs(residual) < 0.875 * s * unit) return s;
    }
  }
#endif
  return Pow(x, 0.5);
}

}  // namespace tamsel::math
