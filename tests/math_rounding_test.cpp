// SPDX-License-Identifier: MIT
// The library's elementary functions are correctly rounded: its scalar log,
// cos, sin and pow(x, 0.5), and the vectorized logarithm of every spectrum
// kernel the processor runs.
//
//  - On the known hard-to-round arguments of log and cos (tests/data, with
//    results computed at 600 bits by round_hard_cases.py): every result.
//  - On random arguments across the ranges the indicators reach and beyond,
//    against GCC's __float128 functions (113 bits): every result whose
//    rounding the reference can decide.  TAMSEL_MATH_SWEEP=N runs N times
//    as many.
//  - On every argument the indicators pass to these functions over the
//    golden series.
//
// The same source is also built with the fallbacks switched off
// (TAMSEL_MATH_WITHOUT_FALLBACK), where the hard cases must fail: proof that
// the tests can see a wrong rounding, and that the fallbacks are what keeps
// the results right.
#include <gtest/gtest.h>
#include <quadmath.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "spectrum/runtime_math.hpp"
#include "spectrum/spectrum_kernel.hpp"
#if !defined(TAMSEL_MATH_WITHOUT_FALLBACK)
#include "straightforward.hpp"
#include "support/golden_file.hpp"
#endif

namespace tamsel::testing {
namespace {

bool SameDouble(double a, double b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Every kernel build this processor can run, with its vectorized logarithm
// and its quotients by one divisor.
struct KernelMath {
  const char* name;
  void (*logOfEach)(const double*, double*, int);
  void (*quotientsOfEach)(const double*, double, double*, int);
};

std::vector<KernelMath> Kernels() {
  std::vector<KernelMath> all{{"baseline", &baseline::LogOfEach, &baseline::QuotientsOfEach}};
#if defined(TAMSEL_SIMD_DISPATCH)
  if (!__builtin_cpu_supports("fma")) return all;  // the wide kernels fuse
  if (__builtin_cpu_supports("avx2")) all.push_back({"avx2", &avx2::LogOfEach, &avx2::QuotientsOfEach});
  if (__builtin_cpu_supports("avx512f")) all.push_back({"avx512", &avx512::LogOfEach, &avx512::QuotientsOfEach});
#endif
  return all;
}

// The double nearest the reference value, or false where the reference
// (good to a few units of 2^-113) lies too near a midpoint to decide.
bool Decided(__float128 exact, double& rounded) {
  rounded = static_cast<double>(exact);
  if (std::isinf(rounded) || rounded == 0) return true;
  const double toward = std::nextafter(rounded, exact > rounded ? HUGE_VAL : -HUGE_VAL);
  const __float128 halfGap = fabsq(static_cast<__float128>(toward) - rounded) / 2;
  const __float128 distance = fabsq(exact - rounded);
  return fabsq(distance - halfGap) > halfGap * static_cast<__float128>(0x1p-45);
}

struct Tally {
  long checked = 0, undecided = 0, wrong = 0;
};

// Checks got against the reference's rounding; prints the first few misses.
void Check(const char* what, double x, double got, __float128 exact, Tally& tally) {
  double want;
  if (!Decided(exact, want)) {
    ++tally.undecided;
    return;
  }
  ++tally.checked;
  if (!SameDouble(got, want) && ++tally.wrong <= 5)
    ADD_FAILURE() << what << "(" << std::hexfloat << x << ") = " << got << ", correctly rounded " << want;
}

void Report(const char* what, const Tally& tally) {
  std::printf("%-34s %9ld checked, %3ld undecided, %6ld wrongly rounded\n", what, tally.checked, tally.undecided,
              tally.wrong);
  EXPECT_EQ(tally.wrong, 0) << what;
  EXPECT_LE(tally.undecided, tally.checked / 10000) << what;
}

// Every kernel's vector log over the arguments, against their exact logs.
void CheckVectorLogs(const std::string& what, const std::vector<double>& x, const std::vector<__float128>& exact) {
  std::vector<double> results(x.size());
  for (const KernelMath& v : Kernels()) {
    v.logOfEach(x.data(), results.data(), static_cast<int>(x.size()));
    Tally vector;
    for (std::size_t i = 0; i < x.size(); ++i) Check(v.name, x[i], results[i], exact[i], vector);
    Report((what + v.name).c_str(), vector);
  }
}

int SweepFactor() {
  const char* text = std::getenv("TAMSEL_MATH_SWEEP");
  const int factor = text != nullptr ? std::atoi(text) : 1;
  return factor > 0 ? factor : 1;
}

// ---- the hard cases ---------------------------------------------------------

struct HardCase {
  double argument;
  double result;
};

std::vector<HardCase> ReadHardCases(const std::string& name) {
  std::ifstream file(std::string(TAMSEL_MATH_DATA_DIR) + "/" + name);
  std::vector<HardCase> cases;
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    std::string argument, result;
    if (!(fields >> argument >> result)) continue;
    cases.push_back({std::strtod(argument.c_str(), nullptr), result == "nan" ? std::numeric_limits<double>::quiet_NaN()
                                                                             : std::strtod(result.c_str(), nullptr)});
  }
  return cases;
}

// Prints "<what>: N of M hard cases wrongly rounded"; the build without
// fallbacks is expected to print a non-zero N.
template <typename Function>
void CheckHardCases(const char* what, const std::vector<HardCase>& cases, Function function) {
  long wrong = 0;
  for (const HardCase& c : cases) {
    const double got = function(c.argument);
    if (!SameDouble(got, c.result) && ++wrong <= 5)
      ADD_FAILURE() << what << "(" << std::hexfloat << c.argument << ") = " << got << ", correctly rounded "
                    << c.result;
  }
  std::printf("%s: %ld of %zu hard cases wrongly rounded\n", what, wrong, cases.size());
  EXPECT_EQ(wrong, 0) << what;
}

TEST(MathRounding, HardCasesOfLog) {
  const std::vector<HardCase> cases = ReadHardCases("log_hard_cases.txt");
  ASSERT_GT(cases.size(), 100000u);
  CheckHardCases("log", cases, [](double x) { return math::Log(x); });
  std::vector<double> arguments, results(cases.size());
  for (const HardCase& c : cases) arguments.push_back(c.argument);
  for (const KernelMath& v : Kernels()) {
    v.logOfEach(arguments.data(), results.data(), static_cast<int>(arguments.size()));
    std::size_t i = 0;
    CheckHardCases((std::string("log vectors ") + v.name).c_str(), cases, [&](double) { return results[i++]; });
  }
}

TEST(MathRounding, HardCasesOfCos) {
  const std::vector<HardCase> cases = ReadHardCases("cos_hard_cases.txt");
  ASSERT_GT(cases.size(), 30000u);
  CheckHardCases("cos", cases, [](double x) { return math::Cos(x); });
  // Those the quick cosine takes (every cosine the indicators take), on
  // their own: without the fallback they must show its wrong roundings.
  std::vector<HardCase> quick;
  for (const HardCase& c : cases)
    if (std::fabs(c.argument) <= 1.125) quick.push_back(c);
  ASSERT_GT(quick.size(), 10000u);
  CheckHardCases("cos up to 1.125", quick, [](double x) { return math::Cos(x); });
}

// ---- random arguments ---------------------------------------------------------

// Dividends and a divisor whose quotient lies within about t 2^-107 of its
// own size from a midpoint between two doubles, t odd and small: the
// hardest quotients to round.  For an odd 53-bit B and odd t, M = t / B
// modulo 2^54 is odd; if it has 54 bits, B M = A 2^54 + t with A below
// 2^53, so A / B = (M - t / B) / 2^54, just off the midpoint M / 2^54.
// Scaled into the range the spectrum divides in.
std::vector<std::pair<double, double>> HardQuotients(int count, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  __extension__ typedef unsigned __int128 Wide;
  const Wide modulus = Wide{1} << 54, mask = modulus - 1;
  std::vector<std::pair<double, double>> cases;
  while (static_cast<int>(cases.size()) < count) {
    const std::uint64_t b = ((random() >> 11) | (std::uint64_t{1} << 52)) | 1;
    Wide inverse = b;  // of b modulo 2^54, by Newton's iteration
    for (int i = 0; i < 6; ++i) inverse = (inverse * (2 - Wide{b} * inverse)) & mask;
    const long long t = static_cast<long long>(random() % 1000) * 2 - 999;
    const Wide residue = t < 0 ? modulus - static_cast<Wide>(-t) : static_cast<Wide>(t);
    const Wide odd = (residue * inverse) & mask;
    if (odd < (Wide{1} << 53)) continue;
    const Wide a = (Wide{b} * odd - residue) >> 54;
    const int scale = static_cast<int>(random() % 120) - 60;
    cases.push_back({std::ldexp(static_cast<double>(static_cast<std::uint64_t>(a)), scale),
                     std::ldexp(static_cast<double>(b), scale - static_cast<int>(random() % 8))});
  }
  return cases;
}

// The AVX-512 kernels divide 49 dividends by one divisor with multiply-adds:
// every quotient must be the division's, on the hardest cases and on the
// spectrum's own (powers over their peak, logarithms over ln 10).
TEST(MathRounding, HardCasesOfQuotients) {
  std::mt19937_64 random(2203);
  std::vector<std::pair<double, double>> cases = HardQuotients(200000 * SweepFactor(), 17);
  for (int i = 0; i < 20000 * SweepFactor(); ++i) {
    const double peak =
        std::ldexp(1 + std::uniform_real_distribution<double>(0, 1)(random), static_cast<int>(random() % 1800) - 900);
    const double power =
        peak * std::ldexp(std::uniform_real_distribution<double>(0.5, 1)(random), -static_cast<int>(random() % 100));
    if (power >= 0x1p-900) cases.push_back({0.99 * power, peak});
    cases.push_back({math::Log(std::uniform_real_distribution<double>(0.01, 1)(random)) * -10.0, 2.302585092994046});
  }
  // Zeros, infinities and NaN, which the product gives: a subnormal power
  // can round its ratio to the peak up to one, and then its logarithm is
  // infinite.  And the largest finite logarithm the decibels divide.
  for (const double a : {0.0, -0.0, HUGE_VAL, -HUGE_VAL, std::nan(""), math::Log(0.01 * 0x1p53) * -10.0})
    cases.push_back({a, 2.302585092994046});
  cases.push_back({0.0, -3.0});
  cases.push_back({-0.0, -3.0});
  // The cases are hard: the product by the correctly rounded reciprocal
  // alone, the first step, misses many of them.
  long missed = 0;
  for (const auto& [a, b] : cases) missed += !SameDouble(a * (1.0 / b), a / b);
  std::printf("quotients as products by the reciprocal: %ld of %zu wrongly rounded\n", missed, cases.size());
  EXPECT_GT(missed, static_cast<long>(cases.size() / 10));
  for (const KernelMath& kernel : Kernels()) {
    const std::string name = std::string("quotients ") + kernel.name;
    long wrong = 0;
    // Grouped by divisor, as the kernels take them.
    for (std::size_t first = 0; first < cases.size();) {
      std::size_t end = first;
      std::vector<double> dividends;
      while (end < cases.size() && cases[end].second == cases[first].second) dividends.push_back(cases[end++].first);
      std::vector<double> got(dividends.size());
      kernel.quotientsOfEach(dividends.data(), cases[first].second, got.data(), static_cast<int>(got.size()));
      for (std::size_t i = 0; i < got.size(); ++i)
        if (!SameDouble(got[i], dividends[i] / cases[first].second) && ++wrong <= 5)
          ADD_FAILURE() << name << ": " << std::hexfloat << dividends[i] << " / " << cases[first].second << " = "
                        << got[i] << ", divided " << dividends[i] / cases[first].second;
      first = end;
    }
    std::printf("%s: %ld of %zu hard cases wrongly rounded\n", name.c_str(), wrong, cases.size());
    EXPECT_EQ(wrong, 0) << name;
  }
}

TEST(MathRounding, LogOfRandomArguments) {
  std::mt19937_64 random(1301);
  const int n = 400000 * SweepFactor();
  std::vector<double> x;
  // The spectrum's arguments 0.01 / (1 - 0.99 r) lie in [0.01, 1].
  for (int i = 0; i < n; ++i) x.push_back(std::uniform_real_distribution<double>(0.01, 1.0)(random));
  // Near 1, where the result is small and only relative accuracy counts.
  for (int i = 0; i < n / 8; ++i)
    x.push_back(1 + std::ldexp(std::uniform_real_distribution<double>(-1, 1)(random), -(i % 20)));
  // Any positive double at all, subnormals included, by its bits.
  for (int i = 0; i < n / 4; ++i) {
    const std::uint64_t bits = random() % 0x7FF0000000000000ULL;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (d > 0) x.push_back(d);
  }
  std::vector<__float128> exact;
  for (double v : x) exact.push_back(logq(v));
  Tally scalar;
  for (std::size_t i = 0; i < x.size(); ++i) Check("log", x[i], math::Log(x[i]), exact[i], scalar);
  Report("log, random", scalar);
  CheckVectorLogs("log vectors, random, ", x, exact);
}

// The vector logarithm picks a table entry from the top significand bits and
// takes the quick way only for positive normal numbers: the first and last
// doubles of every entry's interval, in the spectrum's binades and at both
// ends of the exponent range, and the numbers on either side of the normal
// range, must come out as the scalar logarithm's.
TEST(MathRounding, LogAtTheEdgesOfEveryTableIntervalAndOfTheNormalRange) {
  const std::uint64_t offset = 0x3FE6000000000000ULL;  // 0.6875, where the first interval starts
  std::vector<double> x;
  const auto fromBits = [](std::uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  };
  for (int k : {-1021, -7, -6, -5, -4, -3, -2, -1, 0, 1, 1023}) {
    for (std::uint64_t i = 0; i < 256; ++i) {
      const std::uint64_t first = offset + (i << 44);
      const std::uint64_t last = first + (std::uint64_t{1} << 44) - 1;
      for (std::uint64_t bits : {first, first + 1, last - 1, last}) {
        const double z = fromBits(bits);
        const double scaled = std::ldexp(z, k);
        if (std::isfinite(scaled) && scaled >= 0x1p-1022) x.push_back(scaled);
      }
    }
  }
  const double infinity = std::numeric_limits<double>::infinity();
  for (double edge :
       {0x1p-1022, std::nextafter(0x1p-1022, 0.0), std::nextafter(0x1p-1022, 1.0), 0x1p-1074, 0.0, -0.0, -0x1p-1022,
        -1.0, -infinity, std::numeric_limits<double>::max(), std::nextafter(std::numeric_limits<double>::max(), 0.0),
        infinity, std::numeric_limits<double>::quiet_NaN(), 1.0, std::nextafter(1.0, 0.0), std::nextafter(1.0, 2.0),
        0.01, 0.01 / (1.0 - 0.99)})
    x.push_back(edge);
  std::vector<double> results(x.size());
  for (const KernelMath& v : Kernels()) {
    v.logOfEach(x.data(), results.data(), static_cast<int>(x.size()));
    long wrong = 0;
    for (std::size_t i = 0; i < x.size(); ++i)
      if (!SameDouble(results[i], math::Log(x[i])) && ++wrong <= 5)
        ADD_FAILURE() << v.name << ": log(" << std::hexfloat << x[i] << ") = " << results[i] << ", scalar "
                      << math::Log(x[i]);
    EXPECT_EQ(wrong, 0) << v.name << ", " << x.size() << " arguments";
  }
}

TEST(MathRounding, CosAndSinOfRandomArguments) {
  std::mt19937_64 random(1302);
  const int n = 200000 * SweepFactor();
  std::vector<double> x;
  // The filters' cosines: 4 pi / n, w / n and the tuned band-pass's take
  // arguments within (0, 1.05]; then wider, then any finite double.
  for (int i = 0; i < n; ++i) x.push_back(std::uniform_real_distribution<double>(0.0, 1.1)(random));
  for (int i = 0; i < n / 4; ++i) x.push_back(std::uniform_real_distribution<double>(-1e6, 1e6)(random));
  for (int i = 0; i < n / 20; ++i) {
    const std::uint64_t bits = random() % 0x7FF0000000000000ULL | (random() % 2) << 63;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    x.push_back(d);
  }
  Tally cosine, sine;
  for (double v : x) {
    Check("cos", v, math::Cos(v), cosq(v), cosine);
    Check("sin", v, math::Sin(v), sinq(v), sine);
  }
  Report("cos, random", cosine);
  Report("sin, random", sine);
}

// The quick cosine takes the nearest of the points j/256 up to 1.125 and the
// distance to it: the points themselves, the doubles on either side of them
// and of the midpoints between them (where the nearest point changes), the
// ends of its range and the arguments so small that the cosine rounds to 1.
TEST(MathRounding, CosAtTheEdgesOfEveryTableStep) {
  std::vector<double> x;
  for (int j = 0; j <= 288; ++j) {
    for (double point : {j / 256.0, (j + 0.5) / 256.0}) {
      x.push_back(point);
      x.push_back(std::nextafter(point, 0.0));
      x.push_back(std::nextafter(point, 2.0));
    }
  }
  for (double edge : {1.125, std::nextafter(1.125, 0.0), std::nextafter(1.125, 2.0), 0x1p-27,
                      std::nextafter(0x1p-27, 0.0), std::nextafter(0x1p-27, 1.0), 0x1p-9, 0x1p-1074, 0.0})
    x.push_back(edge);
  Tally cosine;
  for (double v : x) {
    Check("cos", v, math::Cos(v), cosq(v), cosine);
    Check("cos", -v, math::Cos(-v), cosq(-v), cosine);
  }
  Report("cos, table steps", cosine);
}

// The numbers the logarithm's quick way is not for, in both the scalar
// logarithm and every kernel's vectors, with what log defines for them; and
// the ends of the normal range, where the quick way starts and stops.
TEST(MathRounding, LogAsLogDefinesItOutsideThePositiveNormalNumbers) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double max = std::numeric_limits<double>::max();
  const struct {
    double x, want;
  } cases[] = {{0.0, -inf},
               {-0.0, -inf},
               {inf, inf},
               {-inf, nan},
               {-1.0, nan},
               {-0x1p-1074, nan},
               {-max, nan},
               {nan, nan},
               {-nan, nan},
               {1.0, 0.0},
               {0x1p-1074, -0x1.74385446d71c3p+9},
               {0x1p-1022, -0x1.6232bdd7abcd2p+9},
               {max, 0x1.62e42fefa39efp+9}};
  std::vector<double> x, results(std::size(cases));
  for (const auto& c : cases) {
    EXPECT_TRUE(SameDouble(math::Log(c.x), c.want)) << std::hexfloat << c.x << ": " << math::Log(c.x);
    x.push_back(c.x);
  }
  for (const KernelMath& v : Kernels()) {
    v.logOfEach(x.data(), results.data(), static_cast<int>(x.size()));
    for (std::size_t i = 0; i < x.size(); ++i)
      EXPECT_TRUE(SameDouble(results[i], cases[i].want)) << v.name << ": " << std::hexfloat << x[i];
  }
}

TEST(MathRounding, PowHalfIsTheSquareRootAsPowDefinesIt) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double x, want;
  } cases[] = {{0.0, 0.0}, {-0.0, 0.0}, {inf, inf},  {-inf, inf},           {-1.0, nan},
               {nan, nan}, {4.0, 2.0},  {0.25, 0.5}, {0x1p-1074, 0x1p-537}, {-0x1p-1074, nan}};
  for (const auto& c : cases) EXPECT_TRUE(SameDouble(math::PowHalf(c.x), c.want)) << std::hexfloat << c.x;
  std::mt19937_64 random(1303);
  Tally root;
  for (int i = 0; i < 200000; ++i) {
    const std::uint64_t bits = random() % 0x7FF0000000000000ULL;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    Check("pow(x, 0.5)", d, math::PowHalf(d), sqrtq(d), root);
  }
  Report("pow(x, 0.5), random", root);
}

#if !defined(TAMSEL_MATH_WITHOUT_FALLBACK)
// ---- the indicators' own arguments --------------------------------------------

std::vector<std::pair<char, double>> gSeen;

TEST(MathRounding, EveryArgumentOfTheGoldenSeries) {
  straightforward::ObserveMath([](char function, double x) { gSeen.emplace_back(function, x); });
  for (const GoldenSeries& s : ReadGoldenFile(TAMSEL_GOLDEN_FILE)) {
    const int n = static_cast<int>(s.high.size());
    std::vector<float> out(n);
    for (auto* run : {&straightforward::CyclePeriod, &straightforward::SignalToNoiseRatio,
                      &straightforward::SwingPosition, &straightforward::TrendVigor})
      run(s.high.data(), s.low.data(), n, out.data());
  }
  straightforward::ObserveMath(nullptr);
  ASSERT_GT(gSeen.size(), 100000u);
  // Each distinct argument once: the bank's cosines repeat on every bar.
  std::sort(gSeen.begin(), gSeen.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : std::memcmp(&a.second, &b.second, sizeof a.second) < 0;
  });
  gSeen.erase(
      std::unique(gSeen.begin(), gSeen.end(),
                  [](const auto& a, const auto& b) { return a.first == b.first && SameDouble(a.second, b.second); }),
      gSeen.end());

  Tally logs, cosines, sines, roots;
  std::vector<double> logArguments;
  std::vector<__float128> logExact;
  for (const auto& [function, x] : gSeen) {
    if (function == 'l') {
      const __float128 exact = x < 0 ? nanq("") : logq(x);
      if (x < 0 || std::isnan(x)) {
        EXPECT_TRUE(std::isnan(math::Log(x)));
        continue;
      }
      Check("log", x, math::Log(x), exact, logs);
      logArguments.push_back(x);
      logExact.push_back(exact);
    } else if (function == 'c') {
      if (std::isfinite(x)) Check("cos", x, math::Cos(x), cosq(x), cosines);
    } else if (function == 's') {
      Check("sin", x, math::Sin(x), sinq(x), sines);
    } else if (x > 0 && std::isfinite(x)) {
      Check("pow(x, 0.5)", x, math::PowHalf(x), sqrtq(x), roots);
    }
  }
  gSeen.clear();
  Report("log, golden arguments", logs);
  Report("cos, golden arguments", cosines);
  Report("sin, golden arguments", sines);
  Report("pow(x, 0.5), golden arguments", roots);
  CheckVectorLogs("log vectors, golden arguments, ", logArguments, logExact);
}
#endif

}  // namespace
}  // namespace tamsel::testing
