// The library's own log, cos and pow(x, 0.5), for builds whose C library
// rounds those functions differently from the native one (MinGW's runtime on
// Windows).  The indicators are defined to the last bit of the native C
// library, whose results for these functions are the correctly rounded ones
// for all but about one argument in a thousand (those whose exact result lies
// very near a midpoint between two doubles); so these return the correctly
// rounded result.  docs/windows.md has the measured agreement.
//
// The careful way carries each value as an unevaluated sum of two doubles
// (about 106 bits) and rounds once at the end; its error before that rounding
// is near 2^-100 of the result, so a wrong rounding needs an argument whose
// exact result lies within that distance of a midpoint.  The logarithm, 49
// of them a bar, first tries a quicker way good to 2^-62 and keeps its result
// only when the rounding is the same at both ends of that error.
//
// Only IEEE additions and multiplications in the written order are used:
// the build's -ffp-contract=off keeps every product and sum rounded on its
// own, which the error-free transformations below depend on.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "runtime_math.hpp"

namespace tamsel::math {
namespace {

// hi + lo with |lo| at most half a unit in the last place of hi.
struct Wide {
  double hi;
  double lo;
};

constexpr Wide FastTwoSum(double a, double b) {  // needs |a| >= |b| or a == 0
  const double s = a + b;
  return {s, b - (s - a)};
}

constexpr Wide TwoSum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

constexpr Wide Split(double a) {     // a = hi + lo, each with at most 26 bits
  const double t = 134217729.0 * a;  // 2^27 + 1
  const double hi = t - (t - a);
  return {hi, a - hi};
}

constexpr Wide TwoProduct(double a, double b) {
  const double p = a * b;
  const Wide x = Split(a), y = Split(b);
  return {p, ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo};
}

constexpr Wide Add(Wide a, Wide b) {
  Wide s = TwoSum(a.hi, b.hi);
  const Wide t = TwoSum(a.lo, b.lo);
  s = FastTwoSum(s.hi, s.lo + t.hi);
  return FastTwoSum(s.hi, s.lo + t.lo);
}

constexpr Wide Multiply(Wide a, Wide b) {
  const Wide p = TwoProduct(a.hi, b.hi);
  return FastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

constexpr Wide Divide(Wide a, Wide b) {
  const double q1 = a.hi / b.hi;
  Wide r = Add(a, Multiply(b, Wide{-q1, 0.0}));
  const double q2 = r.hi / b.hi;
  r = Add(r, Multiply(b, Wide{-q2, 0.0}));
  const double q3 = r.hi / b.hi;
  return Add(FastTwoSum(q1, q2), Wide{q3, 0.0});
}

// ---- log ------------------------------------------------------------------

// log(m) = 2 atanh(s) = 2 s (1 + s^2/3 + s^4/5 + ...), s = (m - 1)/(m + 1).
// With m within [sqrt(1/2), sqrt(2)], s^2 <= 0.0295: the terms from s^16 on
// are below 2^-44 of the sum, so plain doubles carry them; 22 terms reach
// past 2^-106.
constexpr int kLogWideTerms = 8;
constexpr int kLogTerms = 22;

struct LogCoefficients {
  Wide wide[kLogWideTerms];
  double narrow[kLogTerms];
};

constexpr LogCoefficients MakeLogCoefficients() {
  LogCoefficients c{};
  for (int k = 0; k < kLogTerms; ++k) {
    const Wide v = Divide(Wide{1.0, 0.0}, Wide{2.0 * k + 1.0, 0.0});
    if (k < kLogWideTerms) c.wide[k] = v;
    c.narrow[k] = v.hi;
  }
  return c;
}

constexpr LogCoefficients kLog = MakeLogCoefficients();
constexpr Wide kLn2{0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};

double FromBits(std::uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

std::uint64_t Bits(double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}

// log(m 2^e) for m within [0.7, 1.41], to about 2^-100: the careful way,
// for the table below and for the rare argument the quick way cannot round.
constexpr Wide AccurateLog(double m, int exponent) {
  // m - 1 is exact for m in [1/2, 2]; m + 1 is kept whole as a pair.
  const Wide s = Divide(Wide{m - 1.0, 0.0}, TwoSum(m, 1.0));
  const Wide z = Multiply(s, s);
  double tail = kLog.narrow[kLogTerms - 1];
  for (int k = kLogTerms - 2; k >= kLogWideTerms; --k) tail = kLog.narrow[k] + z.hi * tail;
  Wide sum{tail, 0.0};
  for (int k = kLogWideTerms - 1; k >= 0; --k) sum = Add(Multiply(sum, z), kLog.wide[k]);
  const Wide logM = Multiply(Wide{2.0 * s.hi, 2.0 * s.lo}, sum);
  const double e = exponent;
  const Wide scaled = Add(TwoProduct(e, kLn2.hi), Wide{e * kLn2.lo, 0.0});
  return Add(scaled, logM);
}

// The quick logarithm's table: m within [180/256, 360/256) falls in one of
// 180 intervals 1/256 wide; each has an inverse of its middle and -log of
// that inverse as a pair.  The two intervals that touch 1 use inverse 1, so
// that near 1 nothing cancels.
constexpr double kLogReducedTop = 360.0 / 256;
constexpr double kLogTableSteps = 256;
constexpr int kLogTableFirst = 180;
constexpr int kLogTableSize = 180;

struct LogEntry {
  double inverse;
  Wide log;  // -log(inverse)
};

struct LogTable {
  LogEntry entry[kLogTableSize];
};

constexpr LogTable MakeLogTable() {
  LogTable t{};
  for (int j = 0; j < kLogTableSize; ++j) {
    const int step = kLogTableFirst + j;
    double inverse = 1.0;
    if (step != 255 && step != 256) inverse = 1.0 / ((step + 0.5) / kLogTableSteps);
    // Reduced to [0.7, 1.41] for AccurateLog; the inverses lie in [0.71, 1.42).
    const bool halve = inverse >= kLogReducedTop;
    const Wide logInverse = AccurateLog(halve ? inverse * 0.5 : inverse, halve ? 1 : 0);
    t.entry[j] = {inverse, Wide{-logInverse.hi, -logInverse.lo}};
  }
  return t;
}

constexpr LogTable kLogTable = MakeLogTable();

// log 2 with a leading part of 32 bits, so that its product with any
// exponent is exact.
constexpr double kLn2High = 0x1.62e42feep-1;
constexpr double kLn2Low = 0x1.a39ef35793c76p-33;

// log(1 + r) = r - r^2/2 + r^3/3 - ...; to r^8 the rest is below 2^-66 of
// the sum for |r| <= 2^-8.
constexpr double kLog1pCoefficient[9] = {0, 1, -0.5, 1.0 / 3, -0.25, 0.2, -1.0 / 6, 1.0 / 7, -0.125};

// ---- cos ------------------------------------------------------------------

// cos r = sum (-1)^n r^2n / (2n)!, sin r = r sum (-1)^n r^2n / (2n+1)!, for
// |r| <= pi/4 (r^2 <= 0.62): from n = 8 on the terms are below 2^-50 and
// plain doubles carry them; 15 terms reach past 2^-106.
constexpr int kTrigWideTerms = 8;
constexpr int kTrigTerms = 15;

struct TrigCoefficients {
  Wide cosWide[kTrigWideTerms], sinWide[kTrigWideTerms];
  double cosNarrow[kTrigTerms], sinNarrow[kTrigTerms];
};

constexpr TrigCoefficients MakeTrigCoefficients() {
  TrigCoefficients c{};
  Wide inverseFactorial{1.0, 0.0};  // 1/j!
  for (int j = 0; j < 2 * kTrigTerms + 1; ++j) {
    if (j > 0) inverseFactorial = Divide(inverseFactorial, Wide{static_cast<double>(j), 0.0});
    const int n = j / 2;
    const Wide signed_ = (n % 2 == 0) ? inverseFactorial : Wide{-inverseFactorial.hi, -inverseFactorial.lo};
    if (n >= kTrigTerms) break;
    if (j % 2 == 0) {
      if (n < kTrigWideTerms) c.cosWide[n] = signed_;
      c.cosNarrow[n] = signed_.hi;
    } else {
      if (n < kTrigWideTerms) c.sinWide[n] = signed_;
      c.sinNarrow[n] = signed_.hi;
    }
  }
  return c;
}

constexpr TrigCoefficients kTrig = MakeTrigCoefficients();

// Sum of c[n] z^n: the small tail in doubles, the leading terms wide.
Wide Series(const Wide* wide, const double* narrow, Wide z) {
  double tail = narrow[kTrigTerms - 1];
  for (int n = kTrigTerms - 2; n >= kTrigWideTerms; --n) tail = narrow[n] + z.hi * tail;
  Wide sum{tail, 0.0};
  for (int n = kTrigWideTerms - 1; n >= 0; --n) sum = Add(Multiply(sum, z), wide[n]);
  return sum;
}

// pi/2 in pieces whose products with a reduction count below 2^20 are exact
// (the first three have at most 33 significant bits).
constexpr double kHalfPi1 = 0x1.921fb544p+0;
constexpr double kHalfPi2 = 0x1.0b4611a6p-34;
constexpr double kHalfPi3 = 0x1.3198a2ep-69;
constexpr double kHalfPi4 = 0x1.b839a252049c1p-104;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;

}  // namespace

double PortableLog(double x) {
  if (std::isnan(x)) return x + x;
  if (x < 0) return std::nan("");
  if (x == 0) return -HUGE_VAL;
  if (std::isinf(x)) return x;
  int exponentAdjust = 0;
  if (x < 0x1p-1022) {  // subnormal: scale into the normal range
    x *= 0x1p54;
    exponentAdjust = -54;
  }
  const std::uint64_t bits = Bits(x);
  int exponent = static_cast<int>(bits >> 52) - 1023 + exponentAdjust;
  double m = FromBits((bits & 0x000FFFFFFFFFFFFFULL) | 0x3FF0000000000000ULL);  // [1, 2)
  if (m >= kLogReducedTop) {
    m *= 0.5;
    ++exponent;
  }
  const double e = exponent;

  // The quick way: log(x) = e log 2 + log(1/inverse) + log(1 + r), with
  // r = m * inverse - 1 exact as a pair and |r| <= 2^-8.  The leading terms
  // are summed exactly; what is left in plain doubles is below 2^-20 of the
  // result, so the whole is within 2^-62 of it.
  const LogEntry& entry = kLogTable.entry[static_cast<int>(m * kLogTableSteps) - kLogTableFirst];
  const Wide product = TwoProduct(m, entry.inverse);
  const Wide r = FastTwoSum(product.hi - 1.0, product.lo);  // product.hi - 1 is exact
  const double rh = r.hi;
  const Wide square = TwoProduct(rh, rh);
  const double* k = kLog1pCoefficient;
  const double poly = ((k[3] + k[4] * rh) + square.hi * (k[5] + k[6] * rh)) +
                      (square.hi * square.hi) * (k[7] + k[8] * rh);  // r^3/3 - r^4/4 ... over r^3
  const double low = ((e * kLn2Low + entry.log.lo) + r.lo * (1.0 - rh)) + (square.hi * rh * poly - 0.5 * square.lo);
  const Wide a = TwoSum(e * kLn2High, entry.log.hi);  // e * kLn2High is exact
  const Wide b = TwoSum(a.hi, rh);
  const Wide c = TwoSum(b.hi, -0.5 * square.hi);
  const double rest = ((a.lo + b.lo) + c.lo) + low;
  // Rounded the same at both ends of the error bound: that is the rounding
  // of the exact logarithm too.
  const double bound = std::fabs(c.hi) * 0x1p-60;
  const double result = c.hi + rest;
  if (c.hi + (rest + bound) == c.hi + (rest - bound)) return result;
  return AccurateLog(m, exponent).hi;
}

double PortableCos(double x) {
  if (!std::isfinite(x)) return x - x;  // NaN for NaN and the infinities
  const double ax = std::fabs(x);
  if (ax < 0x1p-27) return 1.0;  // 1 - x^2/2 rounds to 1
  double k = 0;
  Wide r{ax, 0.0};
  if (ax > 0.785398163397448) {
    k = std::nearbyint(ax * kTwoOverPi);
    // Far beyond any argument the indicators produce; the runtime's cos
    // takes over where the reduction above would lose exactness.
    if (k >= 0x1p20) return std::cos(x);
    r = TwoSum(ax - k * kHalfPi1, -(k * kHalfPi2));  // ax - k*kHalfPi1 is exact
    r = Add(r, Wide{-(k * kHalfPi3), 0.0});
    r = Add(r, Wide{-(k * kHalfPi4), 0.0});
  }
  const Wide z = Multiply(r, r);
  const int quadrant = static_cast<int>(std::fmod(k, 4.0));
  Wide result;
  if (quadrant % 2 == 0) {
    result = Series(kTrig.cosWide, kTrig.cosNarrow, z);
  } else {
    result = Multiply(r, Series(kTrig.sinWide, kTrig.sinNarrow, z));
  }
  // cos(r + k pi/2) is cos r, -sin r, -cos r, sin r for k = 0, 1, 2, 3.
  return (quadrant == 1 || quadrant == 2) ? -result.hi : result.hi;
}

double PortablePow(double x, double y) {
  // The indicators raise only to the power 0.5.  The square root is
  // correctly rounded; pow's own cases differ from it at -0 (+0, not -0),
  // at -inf (+inf, not NaN) and for other negative numbers (NaN).
  if (y == 0.5) {
    if (std::isnan(x)) return x + x;
    if (x == 0) return 0.0;
    if (std::isinf(x)) return HUGE_VAL;
    if (x < 0) return std::nan("");
    return std::sqrt(x);
  }
  return std::pow(x, y);
}

}  // namespace tamsel::math
