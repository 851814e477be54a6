// SPDX-License-Identifier: MIT
// The library's own log, cos and pow(x, 0.5) (src/spectrum/portable_math.cpp,
// used by the Windows builds) against the native C library, bit for bit,
// over the argument ranges the indicators use and well beyond, plus the
// special cases.  Built and run natively by scripts/test-windows.sh.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

#include "spectrum/runtime_math.hpp"

namespace {

using tamsel::math::PortableCos;
using tamsel::math::PortableLog;
using tamsel::math::PortablePow;

int failures = 0;

bool SameBits(double a, double b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  std::uint64_t x, y;
  std::memcpy(&x, &a, 8);
  std::memcpy(&y, &b, 8);
  return x == y;
}

// Where the x87 extended result (11 more bits) lies clearly away from a
// midpoint between two doubles, the correctly rounded double is known: ours
// must be it.  The native C library may round the other way on a few
// arguments near a midpoint; that share is reported and kept small.
template <typename Ours, typename Native, typename Extended, typename Draw>
void Compare(const char* what, Ours ours, Native native, Extended extended, Draw draw, int count) {
  int wrong = 0, decided = 0, differ = 0;
  for (int i = 0; i < count; ++i) {
    const double x = draw();
    const double a = ours(x), b = native(x);
    const long double exact = extended(x);
    const double rounded = static_cast<double>(exact);
    const long double neighbour = std::nextafter(rounded, exact > rounded ? HUGE_VAL : -HUGE_VAL);
    const long double halfGap = std::fabs(neighbour - static_cast<long double>(rounded)) / 2;
    if (std::fabs(exact - static_cast<long double>(rounded)) < halfGap * 0.99L) {
      ++decided;
      if (!SameBits(a, rounded) && ++wrong <= 5) std::printf("  %s(%a): ours %a, rounded %a\n", what, x, a, rounded);
    }
    if (!SameBits(a, b)) ++differ;
  }
  std::printf("%-36s %8d of %8d wrongly rounded, %6d differ from the native C library\n", what, wrong, decided, differ);
  if (wrong != 0 || decided < count * 0.95) ++failures;
  if (differ > count / 200) {
    std::printf("FAIL: %s differs from the native C library on more than 0.5%% of the arguments\n", what);
    ++failures;
  }
}

void Expect(const char* what, double got, double want) {
  if (!SameBits(got, want)) {
    std::printf("FAIL: %s = %a, want %a\n", what, got, want);
    ++failures;
  }
}

}  // namespace

int main() {
  std::mt19937_64 random(20261208);
  auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(random); };
  // Any positive finite double, normal or subnormal, by its bits.
  auto anyPositive = [&]() {
    double d;
    do {
      const std::uint64_t bits = random() & 0x7FFFFFFFFFFFFFFFULL;
      std::memcpy(&d, &bits, 8);
    } while (!std::isfinite(d) || d == 0);
    return d;
  };
  const auto ourLog = [](double x) { return PortableLog(x); };
  const auto nativeLog = [](double x) { return std::log(x); };
  const auto ourCos = [](double x) { return PortableCos(x); };
  const auto nativeCos = [](double x) { return std::cos(x); };
  const auto ourRoot = [](double x) { return PortablePow(x, 0.5); };
  const auto nativeRoot = [](double x) { return std::pow(x, 0.5); };
  const auto extendedLog = [](double x) { return std::log(static_cast<long double>(x)); };
  const auto extendedCos = [](double x) { return std::cos(static_cast<long double>(x)); };
  const auto extendedRoot = [](double x) { return std::sqrt(static_cast<long double>(x)); };

  // The spectrum's logarithms take ratios in (0, 1]; the signal-to-noise
  // ratio's take amplitude ratios of any size.
  Compare(
      "log, (0, 1]", ourLog, nativeLog, extendedLog, [&] { return uniform(0x1p-30, 1.0); }, 2000000);
  Compare(
      "log, near 1", ourLog, nativeLog, extendedLog, [&] { return 1.0 + uniform(-0x1p-20, 0x1p-20); }, 300000);
  Compare(
      "log, [0.97, 1.03]", ourLog, nativeLog, extendedLog, [&] { return uniform(0.97, 1.03); }, 300000);
  Compare("log, any positive double", ourLog, nativeLog, extendedLog, anyPositive, 1000000);
  // The tuned band-pass takes cos(2 pi / period) and cos(0.4 pi / period).
  Compare(
      "cos, [0, 1.1] (periods 6 and up)", ourCos, nativeCos, extendedCos, [&] { return uniform(0.0, 1.1); }, 1000000);
  Compare(
      "cos, [-1000, 1000]", ourCos, nativeCos, extendedCos, [&] { return uniform(-1000.0, 1000.0); }, 300000);
  Compare(
      "cos, tiny", ourCos, nativeCos, extendedCos, [&] { return uniform(-0x1p-20, 0x1p-20); }, 100000);
  Compare("pow(x, 0.5), any positive double", ourRoot, nativeRoot, extendedRoot, anyPositive, 1000000);

  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  Expect("log(1)", PortableLog(1.0), 0.0);
  Expect("log(+0)", PortableLog(0.0), -inf);
  Expect("log(-0)", PortableLog(-0.0), -inf);
  Expect("log(-1)", PortableLog(-1.0), nan);
  Expect("log(inf)", PortableLog(inf), inf);
  Expect("log(NaN)", PortableLog(nan), nan);
  Expect("log(smallest subnormal)", PortableLog(0x1p-1074), std::log(0x1p-1074));
  Expect("log(largest double)", PortableLog(0x1.fffffffffffffp+1023), std::log(0x1.fffffffffffffp+1023));
  Expect("cos(0)", PortableCos(0.0), 1.0);
  Expect("cos(-0)", PortableCos(-0.0), 1.0);
  Expect("cos(inf)", PortableCos(inf), nan);
  Expect("cos(NaN)", PortableCos(nan), nan);
  Expect("cos(pi/2)", PortableCos(0x1.921fb54442d18p+0), std::cos(0x1.921fb54442d18p+0));
  Expect("cos(1e22)", PortableCos(1e22), std::cos(1e22));
  for (double x : {0.0, -0.0, inf, -inf, -1.0, -0x1p-1074, 0x1p-1074, 4.0, 2.0, nan})
    Expect("pow(x, 0.5) special case", PortablePow(x, 0.5), std::pow(x, 0.5));

  std::printf("portable math: %s\n", failures == 0 ? "correctly rounded" : "FAILED");
  return failures == 0 ? 0 : 1;
}
