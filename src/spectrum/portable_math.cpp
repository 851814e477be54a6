// SPDX-License-Identifier: MIT
// The library's own natural logarithm, cosine, sine and pow(x, 0.5), the only
// elementary functions it calls, in every build.  The indicators are defined
// with the real-number result of each function rounded once to the nearest
// double; these return exactly that, so every platform, C library and
// instruction set gives the same bits.
//
// Each function tries quicker ways first and keeps a result only when a
// rounding test proves it (Ziv's method): the value is rounded the same at
// both ends of the way's error bound, so it is the rounding of the exact
// result too.  The logarithm tries a table-driven way good to 2^-62, then a
// double-double way (two doubles, about 106 bits, error near 2^-100), and the
// cosine starts with the double-double way.  The rare argument neither can
// round goes to an expansion of three doubles (expansion_arithmetic.hpp,
// about 159 bits), far beyond the hardest cases known for these functions
// (exact results within 2^-117 of a midpoint, 64 bits beyond the rounding
// bit); tests/math_rounding_test.cpp holds all of them against a
// high-precision reference.
//
// Only IEEE additions and multiplications in the written order are used:
// the build's -ffp-contract=off keeps every product and sum rounded on its
// own, which the error-free transformations below depend on.  No function of
// the C library is called.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "expansion_arithmetic.hpp"
#include "log_lane_table.hpp"
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

// Not constant: reaching it stops the table's evaluation, and the build.
void LogLaneEntryCannotCarryItsInverse() {}

constexpr LogLaneTable MakeLogLaneTable() {
  LogLaneTable t{};
  for (int i = 0; i < kLogLaneTableSize; ++i) {
    const std::uint64_t first = kLogLaneOffset + (static_cast<std::uint64_t>(i) << kLogLaneIndexShift);
    const std::uint64_t next = first + (std::uint64_t{1} << kLogLaneIndexShift);
    const double middle = (std::bit_cast<double>(first) + std::bit_cast<double>(next)) * 0.5;
    const double steps = 512.0 / middle;  // rounded to the nearest whole step
    const int whole = static_cast<int>(steps);
    double inverse = (steps - whole >= 0.5 ? whole + 1 : whole) / 512.0;
    if (std::bit_cast<double>(first) == 1.0 || std::bit_cast<double>(next) == 1.0) inverse = 1.0;
    const bool halve = inverse >= kLogReducedTop;
    const Wide logInverse = AccurateLog(halve ? inverse * 0.5 : inverse, halve ? 1 : 0);
    const Wide negated = FastTwoSum(-logInverse.hi, -logInverse.lo);
    // 1536 = 1.5 x 2^10: the sum's unit in the last place is 2^-42, so the
    // round trip rounds the leading part to that grid; what it drops is
    // exact and, with the old low part, well within a double.
    const double onGrid = (negated.hi + 1536.0) - 1536.0;
    const std::uint64_t highBits = std::bit_cast<std::uint64_t>(onGrid);
    const auto inverseSteps = static_cast<std::uint64_t>(inverse * 512.0);
    // The leading part's low bits must be free for 512 c.
    if ((highBits & kLogLaneInverseMask) != 0 || inverseSteps > kLogLaneInverseMask ||
        static_cast<double>(inverseSteps) != inverse * 512.0)
      LogLaneEntryCannotCarryItsInverse();
    t.Entry[i] = {highBits | inverseSteps, (negated.hi - onGrid) + negated.lo};
  }
  const std::uint64_t constant[kLogLaneConstants] = {
      0 - (kLogLaneOffset ^ (std::uint64_t{1} << 63)),
      0xFFF0000000000000ULL,
      std::uint64_t{1} << 63,
      std::bit_cast<std::uint64_t>(0x1p52),
      std::bit_cast<std::uint64_t>(std::numeric_limits<double>::infinity()),
      0 - std::uint64_t{0x20000000000000},
      0xFFFFFFFF00000000ULL,
      std::bit_cast<std::uint64_t>(0x1p-66),
      kLogLaneInverseMask,
      std::bit_cast<std::uint64_t>(0x1p43)};
  for (int c = 0; c < kLogLaneConstants; ++c)
    for (int j = 0; j < kLogLaneConstantLanes; ++j) t.Constant[c][j] = constant[c];
  return t;
}

// log 2 with a leading part of 32 bits, so that its product with any
// exponent is exact.
constexpr double kLn2High = 0x1.62e42feep-1;
constexpr double kLn2Low = 0x1.a39ef35793c76p-33;

// log(1 + r) = r - r^2/2 + r^3/3 - ...; to r^8 the rest is below 2^-66 of
// the sum for |r| <= 2^-8.
constexpr double kLog1pCoefficient[9] = {0, 1, -0.5, 1.0 / 3, -0.25, 0.2, -1.0 / 6, 1.0 / 7, -0.125};

// Rounded the same at both ends of the error bound: that is the rounding of
// the exact result too.
bool RoundsSurely(double hi, double lo, double bound) { return hi + (lo + bound) == hi + (lo - bound); }

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
constexpr Wide Series(const Wide* wide, const double* narrow, Wide z) {
  double tail = narrow[kTrigTerms - 1];
  for (int n = kTrigTerms - 2; n >= kTrigWideTerms; --n) tail = narrow[n] + z.hi * tail;
  Wide sum{tail, 0.0};
  for (int n = kTrigWideTerms - 1; n >= 0; --n) sum = Add(Multiply(sum, z), wide[n]);
  return sum;
}

// The quick cosine, for arguments up to 1.125 (every cosine the indicators
// take): cos(a + d) = cos a + cos a (cos d - 1) - sin a d - sin a (sin d - d)
// with a = j/256 the nearest table point, |d| <= 2^-9, and cos a as a pair.
// d = x - a is exact (for j > 0, a/2 <= x <= 2a).  The table keeps sin a as
// a head of 26 bits and the rest, and d is split the same way, so that
// sin a's head times d's head is exact and the only leading term:
//   hi + lo = cos aHigh - sinHead dHead exactly (cos a is above 0.43, the
// product below 2^-9).  Everything else is small, and plain doubles carry
// it.  Its errors: cos a times cos d - 1 (below 2^-19), its series to d^6,
// rounded in d^2, in the series and in the product, and cos aLow left out
// of it: below 2^-70 + 2^-73; sin a (sin d - d) (below 2^-29), its series
// to d^5: truncation below 2^-75, roundings below 2^-80; sinHead dTail and
// sinTail d (below 2^-35) round by less than 2^-87; the three sums of the
// small terms round by at most 2^-72 each, the table's pairs are good to
// 2^-100.  In all below 2^-69, against a bound of 2^-66 of the result,
// above 2^-68, which leaves room for rounding the low part plus or minus it.
constexpr int kQuickCosSteps = 256;
constexpr int kQuickCosEntries = 289;  // a up to 288/256 = 1.125
constexpr double kQuickCosLimit = 1.125;

struct QuickCosEntry {
  Wide cosine;
  double sineHead;  // at most 26 significant bits
  double sineTail;  // sin a less the head
};

struct QuickCosTable {
  QuickCosEntry entry[kQuickCosEntries];
};

constexpr QuickCosTable MakeQuickCosTable() {
  QuickCosTable t{};
  for (int j = 0; j < kQuickCosEntries; ++j) {
    const Wide a{static_cast<double>(j) / kQuickCosSteps, 0.0};
    const Wide z = Multiply(a, a);
    const Wide sine = Multiply(a, Series(kTrig.sinWide, kTrig.sinNarrow, z));
    const double head = Split(sine.hi).hi;
    t.entry[j] = {Series(kTrig.cosWide, kTrig.cosNarrow, z), head, (sine.hi - head) + sine.lo};
  }
  return t;
}

constexpr QuickCosTable kQuickCos = MakeQuickCosTable();

// The cosine of 0 <= ax <= kQuickCosLimit; sure tells whether it is proven
// correctly rounded.
double QuickCos(double ax, bool& sure) {
  const double steps = ax * kQuickCosSteps;
  const int j = static_cast<int>(steps) + (steps - static_cast<int>(steps) >= 0.5 ? 1 : 0);
  const double d = ax - static_cast<double>(j) / kQuickCosSteps;
  const QuickCosEntry& e = kQuickCos.entry[j];
  const Wide dd = Split(d);
  const double product = e.sineHead * dd.hi;  // exact
  const double hi = e.cosine.hi - product;
  const double lo = (e.cosine.hi - hi) - product;  // exact
  const double q = d * d;
  const double sine = e.sineHead + e.sineTail;
  // cos d - 1 and sin d - d.
  const double cosLess1 = q * (-0.5 + q * (1.0 / 24 - q * (1.0 / 720)));
  const double sinLessD = d * q * (-1.0 / 6 + q * (1.0 / 120));
  const double low =
      (lo + e.cosine.lo) - ((e.sineHead * dd.lo + e.sineTail * d) + (sine * sinLessD - e.cosine.hi * cosLess1));
  sure = RoundsSurely(hi, low, hi * 0x1p-66);
  return hi + low;
}

// pi/2 in pieces whose products with a reduction count below 2^20 are exact
// (the first three have at most 33 significant bits).
constexpr double kHalfPi1 = 0x1.921fb544p+0;
constexpr double kHalfPi2 = 0x1.0b4611a6p-34;
constexpr double kHalfPi3 = 0x1.3198a2ep-69;
constexpr double kHalfPi4 = 0x1.b839a252049c1p-104;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;

// ---- the last resort: expansions of three doubles -------------------------

using Precise = expansion::Expansion<3>;
using expansion::Add;
using expansion::Multiply;
using expansion::MultiplyByDouble;

constexpr Precise kLn2Precise{{0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56, 0x1.7b57a079a1934p-111}};
constexpr Precise kHalfPiPrecise{{0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54, -0x1.f1976b7ed8fbcp-110}};

// 2 atanh(s) = 2 s (1 + s^2/3 + s^4/5 + ...): with s^2 <= 0.0295, 35 terms
// reach below 2^-170 of the sum.
constexpr int kPreciseLogTerms = 35;
// cos r and sin r / r as series in r^2, |r| <= pi/4 (a little more when the
// reduction rounds its quadrant the other way): 21 terms reach below 2^-180.
constexpr int kPreciseTrigTerms = 21;

struct PreciseCoefficients {
  Precise atanh[kPreciseLogTerms];    // 1 / (2k + 1)
  Precise cosine[kPreciseTrigTerms];  // (-1)^n / (2n)!
  Precise sine[kPreciseTrigTerms];    // (-1)^n / (2n + 1)!
};

constexpr PreciseCoefficients MakePreciseCoefficients() {
  PreciseCoefficients c{};
  const Precise one = expansion::FromDouble<3>(1.0);
  for (int k = 0; k < kPreciseLogTerms; ++k)
    c.atanh[k] = expansion::Divide(one, expansion::FromDouble<3>(2.0 * k + 1.0));
  Precise inverseFactorial = one;  // 1 / j!
  for (int j = 0; j < 2 * kPreciseTrigTerms; ++j) {
    if (j > 0) inverseFactorial = expansion::Divide(inverseFactorial, expansion::FromDouble<3>(j));
    const int n = j / 2;
    const Precise signed_ = n % 2 == 0 ? inverseFactorial : expansion::Negate(inverseFactorial);
    (j % 2 == 0 ? c.cosine : c.sine)[n] = signed_;
  }
  return c;
}

constexpr PreciseCoefficients kPrecise = MakePreciseCoefficients();

constexpr Precise PreciseSeries(const Precise* coefficient, int terms, const Precise& z) {
  Precise sum = coefficient[terms - 1];
  for (int n = terms - 2; n >= 0; --n) sum = Add(Multiply(sum, z), coefficient[n]);
  return sum;
}

// 2 atanh(numerator / denominator) = log((denominator + numerator) /
// (denominator - numerator)), with terms enough for a quotient up to 0.19.
constexpr Precise PreciseLogOfRatio(const Precise& numerator, const Precise& denominator, int terms) {
  const Precise s = expansion::Divide(numerator, denominator);
  const Precise sum = PreciseSeries(kPrecise.atanh, terms, Multiply(s, s));
  return Multiply(MultiplyByDouble(s, 2.0), sum);
}

// m within [0.7, 1.41] is first brought near 1 exactly, as the pair m k/32
// for the nearest k = 32/m (k from 22 to 46); log(32/k) comes from a table
// and the rest of the logarithm needs 14 terms instead of 35.
constexpr int kPreciseLogFirstStep = 22;
constexpr int kPreciseLogSteps = 25;
constexpr int kPreciseLogNearOneTerms = 14;  // |s| <= 2^-6.5: below 2^-180

struct PreciseLogTable {
  Precise logOfInverse[kPreciseLogSteps];  // log(32/k)
};

constexpr PreciseLogTable MakePreciseLogTable() {
  PreciseLogTable t{};
  for (int i = 0; i < kPreciseLogSteps; ++i) {
    const int k = kPreciseLogFirstStep + i;
    t.logOfInverse[i] =
        PreciseLogOfRatio(expansion::FromDouble<3>(32.0 - k), expansion::FromDouble<3>(32.0 + k), kPreciseLogTerms);
  }
  return t;
}

constexpr PreciseLogTable kPreciseLogTable = MakePreciseLogTable();

// log(m 2^e) for m within [0.7, 1.41], correctly rounded.
double PreciseLog(double m, int exponent) {
  const double steps = 32.0 / m;
  const int k = static_cast<int>(steps) + (steps - static_cast<int>(steps) >= 0.5 ? 1 : 0);
  const expansion::Pair y = expansion::TwoProduct(m, k / 32.0);  // exact, within 2^-5.5 of 1
  double numerator[2] = {y.hi - 1.0, y.lo};                      // y.hi - 1 is exact
  double denominator[3] = {y.hi, y.lo, 1.0};
  const Precise logY = PreciseLogOfRatio(expansion::Normalize<3>(numerator), expansion::Normalize<3>(denominator),
                                         kPreciseLogNearOneTerms);
  const Precise logM = Add(kPreciseLogTable.logOfInverse[k - kPreciseLogFirstStep], logY);
  return expansion::RoundToDouble(Add(MultiplyByDouble(kLn2Precise, exponent), logM));
}

// y rounded to an integer, ties to even, for any double y.
double RoundToInteger(double y) {
  if (!(std::fabs(y) < 0x1p52)) return y;
  return y < 0 ? (y - 0x1p52) + 0x1p52 : (y + 0x1p52) - 0x1p52;
}

// v minus the nearest multiple of 4: exact, since v and the multiple are
// both multiples of v's unit in the last place and the difference is small.
double ReduceModuloFour(double v) {
  if (!(std::fabs(v) < 0x1p54)) return 0.0;  // a multiple of 4 already
  return v - 4.0 * RoundToInteger(v * 0.25);
}

// The bits of 2/pi, 24 at a time: 2/pi = sum of kTwoOverPiChunk[i] 2^(-24(i+1)).
constexpr int kTwoOverPiChunks = 60;
constexpr std::uint32_t kTwoOverPiChunk[kTwoOverPiChunks] = {
    0xA2F983, 0x6E4E44, 0x1529FC, 0x2757D1, 0xF534DD, 0xC0DB62, 0x95993C, 0x439041, 0xFE5163, 0xABDEBB,
    0xC561B7, 0x246E3A, 0x424DD2, 0xE00649, 0x2EEA09, 0xD1921C, 0xFE1DEB, 0x1CB129, 0xA73EE8, 0x8235F5,
    0x2EBB44, 0x84E99C, 0x7026B4, 0x5F7E41, 0x3991D6, 0x398353, 0x39F49C, 0x845F8B, 0xBDF928, 0x3B1FF8,
    0x97FFDE, 0x05980F, 0xEF2F11, 0x8B5A0A, 0x6D1F6D, 0x367ECF, 0x27CB09, 0xB74F46, 0x3F669E, 0x5FEA2D,
    0x7527BA, 0xC7EBE5, 0xF17B3D, 0x0739F7, 0x8A5292, 0xEA6BFB, 0x5FB11F, 0x8D5D08, 0x560330, 0x46FC7B,
    0x6BABF0, 0xCFBC20, 0x9AF436, 0x1DA9E3, 0x91615E, 0xE61B08, 0x659985, 0x5F14A0, 0x68408D, 0xFFD880};

// The chunks as doubles scaled by 2^520, and arguments scaled by 2^-520, so
// that neither the largest argument's products nor the smallest chunk leave
// the normal range.
constexpr double kReductionScale = 0x1p520;
struct ScaledTwoOverPi {
  double chunk[kTwoOverPiChunks];
};
constexpr ScaledTwoOverPi MakeScaledTwoOverPi() {
  ScaledTwoOverPi t{};
  double weight = kReductionScale;
  for (int i = 0; i < kTwoOverPiChunks; ++i) {
    weight *= 0x1p-24;
    t.chunk[i] = kTwoOverPiChunk[i] * weight;
  }
  return t;
}
constexpr ScaledTwoOverPi kScaledTwoOverPi = MakeScaledTwoOverPi();

// ax = (quadrant + 4j + f) pi/2 with |f| <= 1/2 or a hair more: the products
// of ax with the bits of 2/pi, each reduced modulo 4 exactly, summed exactly
// once the nearest integer is taken off, and f carried to 159 bits of its own
// size however close ax lies to a multiple of pi/2.  Bits of 2/pi whose
// product with ax falls below 2^-240 are left out.
Precise ReduceQuarterTurns(double ax, int& quadrant) {
  constexpr int kTerms = 2 * kTwoOverPiChunks + 1;
  double terms[kTerms] = {};
  int count = 0;
  const double scaled = ax / kReductionScale;
  double weight = ax;
  for (int i = 0; i < kTwoOverPiChunks; ++i) {
    const expansion::Pair p = expansion::TwoProduct(scaled, kScaledTwoOverPi.chunk[i]);
    terms[count++] = ReduceModuloFour(p.hi);
    terms[count++] = ReduceModuloFour(p.lo);
    weight *= 0x1p-24;
    if (weight < 0x1p-240) break;
  }
  double approximate = 0;
  for (int i = 0; i < count; ++i) approximate = approximate + terms[i];
  const double nearest = RoundToInteger(approximate);
  terms[count] = -nearest;
  quadrant = static_cast<int>(nearest) & 3;
  return Multiply(expansion::Normalize<3>(terms), kHalfPiPrecise);
}

// cos(ax + shift pi/2) for a finite ax >= 0, correctly rounded: shift 0
// gives the cosine, shift 3 the sine.
double PreciseTrig(double ax, int shift) {
  int quadrant = 0;
  Precise r = expansion::FromDouble<3>(ax);
  if (ax > 0.785398163397448) r = ReduceQuarterTurns(ax, quadrant);
  quadrant = (quadrant + shift) & 3;
  const Precise z = Multiply(r, r);
  Precise result = quadrant % 2 == 0 ? PreciseSeries(kPrecise.cosine, kPreciseTrigTerms, z)
                                     : Multiply(r, PreciseSeries(kPrecise.sine, kPreciseTrigTerms, z));
  // cos(r + q pi/2) is cos r, -sin r, -cos r, sin r for q = 0, 1, 2, 3.
  if (quadrant == 1 || quadrant == 2) result = expansion::Negate(result);
  return expansion::RoundToDouble(result);
}

// cos(ax + shift pi/2), as PreciseTrig, the double-double way first.
double Trig(double ax, int shift) {
  double k = 0;
  Wide r{ax, 0.0};
  if (ax > 0.785398163397448) {
    k = RoundToInteger(ax * kTwoOverPi);
    // Beyond 2^20 quarter turns the pieces of pi/2 below stop being exact.
    if (k >= 0x1p20) return PreciseTrig(ax, shift);
    r = TwoSum(ax - k * kHalfPi1, -(k * kHalfPi2));  // ax - k*kHalfPi1 is exact
    r = Add(r, Wide{-(k * kHalfPi3), 0.0});
    r = Add(r, Wide{-(k * kHalfPi4), 0.0});
  }
  const Wide z = Multiply(r, r);
  const int quadrant = (static_cast<int>(k) + shift) & 3;
  Wide result;
  if (quadrant % 2 == 0) {
    result = Series(kTrig.cosWide, kTrig.cosNarrow, z);
  } else {
    result = Multiply(r, Series(kTrig.sinWide, kTrig.sinNarrow, z));
  }
  if (quadrant == 1 || quadrant == 2) result = Wide{-result.hi, -result.lo};
    // The series are good to about 2^-100 of the result; the reduction adds
    // up to about 2^-104 absolute (its pieces of pi/2 and the double-double
    // sums of terms up to pi/4), which a sine near 0 feels in full.
#if !defined(TAMSEL_MATH_WITHOUT_FALLBACK)  // only for the check that the test can fail
  const double bound = std::fabs(result.hi) * 0x1p-96 + (k != 0 ? 0x1p-101 : 0.0);
  if (!RoundsSurely(result.hi, result.lo, bound)) return PreciseTrig(ax, shift);
#endif
  return result.hi + result.lo;
}

}  // namespace

constexpr LogLaneTable kLogLaneTable = MakeLogLaneTable();

namespace {

// The vector logarithm's quick way (QuickLog in log_lanes.inc, where its
// error bound is argued), on one positive normal x: the same operations in
// the same order, each rounded on its own, so the same bound holds.  It
// needs no exact products or sums, which is what makes it cheaper than the
// way below; sure tells whether its result is proven correctly rounded.
double QuickLog(double x, bool& sure) {
  const std::uint64_t bits = Bits(x);
  const std::uint64_t biased = bits - (kLogLaneOffset ^ (std::uint64_t{1} << 63));
  const LogLaneEntry& entry = kLogLaneTable.Entry[(biased >> kLogLaneIndexShift) & 255];
  const double logHigh = FromBits(entry.LogHighAndInverse & ~kLogLaneInverseMask);
  const double inverse = static_cast<double>(entry.LogHighAndInverse & kLogLaneInverseMask) * 0x1p-9;
  const std::uint64_t zBits = (bits ^ (std::uint64_t{1} << 63)) - (biased & 0xFFF0000000000000ULL);
  const double k = static_cast<double>(static_cast<int>(biased >> 52) - 2048);
  const double a = k * kLn2High + logHigh;  // exact
  const bool nearOne = a == 0.0;            // k = 0 and c = 1
  const double z = FromBits(zBits);
  const double zHead = nearOne ? z : FromBits(zBits & 0xFFFFFFFF00000000ULL);
  const double t = zHead * inverse - 1.0;  // exact
  const double u = (z - zHead) * inverse;  // exact
  const double s = a + t;                  // exact
  const double r = t + u;
  const double q = r * r;
  const double series = q * ((-0.5 + r * (1.0 / 3)) + q * ((-0.25 + r * 0.2) + q * (-1.0 / 6 + r * (1.0 / 7))));
  const double low = ((k * kLn2Low + entry.LogLow) + u) + series;
  const double bound = q * 0x1p-49 + (nearOne ? 0.0 : 0x1p-66);
  sure = RoundsSurely(s, low, bound);
  return s + low;
}

}  // namespace

double PortableLog(double x) {
  // A positive normal x, 2^-1022 <= x < inf, in one unsigned comparison of
  // its bits (every other number's difference wraps or lies above): the
  // quick way; the other numbers are told apart only where it cannot go.
  if (Bits(x) - 0x0010000000000000ULL < 0x7FE0000000000000ULL) {
    bool sure = false;
    const double quick = QuickLog(x, sure);
    if (sure) return quick;
  } else {
    if (std::isnan(x)) return x + x;
    if (x < 0) return std::numeric_limits<double>::quiet_NaN();
    if (x == 0) return -HUGE_VAL;
    if (std::isinf(x)) return x;
  }
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
  if (RoundsSurely(c.hi, rest, bound)) return result;
#if defined(TAMSEL_MATH_WITHOUT_FALLBACK)  // only for the check that the test can fail
  return result;
#endif
  const Wide careful = AccurateLog(m, exponent);
  if (RoundsSurely(careful.hi, careful.lo, std::fabs(careful.hi) * 0x1p-97)) return careful.hi + careful.lo;
  return PreciseLog(m, exponent);
}

double PortableCos(double x) {
  if (!std::isfinite(x)) return x - x;  // NaN for NaN and the infinities
  const double ax = std::fabs(x);
  if (ax < 0x1p-27) return 1.0;  // 1 - x^2/2 rounds to 1
  if (ax <= kQuickCosLimit) {
    bool sure = false;
    const double quick = QuickCos(ax, sure);
#if !defined(TAMSEL_MATH_WITHOUT_FALLBACK)  // only for the check that the test can fail
    if (sure)
#endif
      return quick;
  }
  return Trig(ax, 0);
}

double PortableSin(double x) {
  if (!std::isfinite(x)) return x - x;  // NaN for NaN and the infinities
  if (x == 0) return x;                 // keeps the sign of zero
  const double sine = Trig(std::fabs(x), 3);
  return x < 0 ? -sine : sine;
}

double PortablePow(double x, double y) {
  // The indicators raise only to the power 0.5, which is all this supports:
  // any other exponent gives NaN.  The square root is correctly rounded;
  // pow's own cases differ from it at -0 (+0, not -0), at -inf (+inf, not
  // NaN) and for other negative numbers (NaN).
  if (std::isnan(x)) return x + x;
  if (y != 0.5) return std::numeric_limits<double>::quiet_NaN();
  if (x == 0) return 0.0;
  if (std::isinf(x)) return HUGE_VAL;
  if (x < 0) return std::numeric_limits<double>::quiet_NaN();
  return __builtin_sqrt(x);
}

}  // namespace tamsel::math
