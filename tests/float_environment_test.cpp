// SPDX-License-Identifier: MIT
// Hosts call in with floating-point environments of their own: exceptions
// unmasked (so 0/0 or a NaN comparison would trap), other rounding modes,
// flush-to-zero, another x87 precision, flags already raised.  Every entry
// point must give the bits it gives in the default environment, raise no
// signal, and hand the caller's control words and flags back untouched.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "TamselCharts.h"
#include "support/float_control_words.h"
#include "support/generated_series.hpp"
#include "support/golden_file.hpp"

#if defined(__x86_64__) || defined(__i386__)

namespace tamsel::testing {
namespace {

std::string Describe(const FloatControlWords& c) {
  char text[96];
  std::snprintf(text, sizeof text, "x87 control %#06x, x87 flags %#04x, MXCSR %#06x", c.x87Control, c.x87Flags,
                c.mxcsr);
  return text;
}

struct HostEnvironment {
  const char* name;
  FloatControlWords control;
};

// No flag may be raised under an unmasked exception: that would already be
// a pending trap in the host.
const HostEnvironment kHostEnvironments[] = {
    {"Delphi: invalid, zero-divide and overflow unmasked, 64-bit x87", {0x1332, 0x00, 0x1900}},
    {"every exception unmasked, denormal and inexact too", {0x0340, 0x00, 0x0000}},
    {"toward zero, flush-to-zero, denormals-are-zero, every flag raised", {0x0F7F, 0x3F, 0xFFFF}},
    {"upward, 24-bit x87", {0x087F, 0x00, 0x5F80}},
    {"downward, 24-bit x87, inexact and underflow raised", {0x047F, 0x30, 0x3FB0}},
    // The library's own controls, where MXCSR is left as the caller had it:
    // what the call raises must still be taken back, what the caller had
    // raised kept.
    {"the library's controls, no flag raised", {0x037F, 0x00, 0x1F80}},
    {"the library's controls, inexact and invalid raised", {0x037F, 0x00, 0x1FA1}},
};

// The series run in each environment: the golden corpus and the inputs that
// make the arithmetic raise (0/0 on flat zero windows, NaN comparisons,
// infinities, overflow near the float limit, denormal prices).
std::vector<Series> HostileSeries() {
  std::vector<Series> all;
  for (const GoldenSeries& g : ReadGoldenFile(TAMSEL_GOLDEN_FILE)) all.push_back({g.name, g.high, g.low});
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  auto add = [&all](std::string name, int count, auto price) {
    Series s{std::move(name), {}, {}};
    for (int i = 0; i < count; ++i) {
      const auto [high, low] = price(i);
      s.high.push_back(high);
      s.low.push_back(low);
    }
    all.push_back(std::move(s));
  };
  const Series walk = RandomWalk("walk", 11, 160, 100.0);
  auto walkWith = [&walk](int at, float poison) {
    return [&walk, at, poison](int i) {
      return i == at ? std::pair{poison, walk.low[i]} : std::pair{walk.high[i], walk.low[i]};
    };
  };
  add("all zero", 120, [](int) { return std::pair{0.0f, 0.0f}; });
  add("zero then walk", 160, [&walk](int i) {
    return i < 70 ? std::pair{0.0f, 0.0f} : std::pair{walk.high[i], walk.low[i]};
  });
  add("NaN high mid-series", 160, walkWith(80, nan));
  add("+inf high mid-series", 160, walkWith(80, inf));
  add("-inf high mid-series", 160, walkWith(80, -inf));
  add("near the float limit", 160, [](int i) {
    return std::pair{FLT_MAX - static_cast<float>(i) * 1e31f, 3.0e38f + static_cast<float>(i % 7) * 1e36f};
  });
  add("float limit, swapped and negative", 160, [](int i) { return std::pair{-FLT_MAX, i % 2 ? FLT_MAX : 1e38f}; });
  add("denormal prices", 160, [&walk](int i) { return std::pair{walk.high[i] * 1e-42f, walk.low[i] * 1e-42f}; });
  add("swapped walk", 160, [&walk](int i) { return std::pair{walk.low[i], walk.high[i]}; });
  return all;
}

// Everything each entry point writes for one series.
struct Outputs {
  std::vector<float> single[4];
  std::vector<float> together[4];
  std::vector<TamselChart_Values> pushed, peeked, cloned;
  std::vector<int> counts;
};

constexpr IndicatorExport kExports[4] = {&TamselChart_CyclePeriod, &TamselChart_SignalToNoiseRatio,
                                         &TamselChart_SwingPosition, &TamselChart_TrendVigor};

// Calls every entry point over the series with the caller's environment set
// to `host` before each call; counts the calls after which it was not
// exactly `host` again.  Between the calls only integer work is done, so a
// trap can come only from inside the library.
Outputs CallEverything(const Series& s, const FloatControlWords& host, int& changedEnvironments) {
  const int n = static_cast<int>(s.high.size());
  Outputs o;
  for (auto& v : o.single) v.assign(n, 0.0f);
  for (auto& v : o.together) v.assign(n, 0.0f);
  o.pushed.resize(n), o.peeked.resize(n), o.cloned.resize(n);
  o.counts.reserve(4 * n + 16);
  const FloatControlWords library = ReadFloatControlWords();

  // As the processor reads it back: a reserved x87 control bit reads as 1.
  InstallFloatControlWords(host);
  const FloatControlWords installed = ReadFloatControlWords();
  auto after = [&](int count) {
    changedEnvironments += !SameFloatControlWords(ReadFloatControlWords(), installed);
    o.counts.push_back(count);
    InstallFloatControlWords(host);
  };
  for (int e = 0; e < 4; ++e) after(kExports[e](s.high.data(), s.low.data(), n, o.single[e].data()));
  after(TamselChart_AllIndicators(s.high.data(), s.low.data(), n, o.together[0].data(), o.together[1].data(),
                                  o.together[2].data(), o.together[3].data()));
  TamselChart_Stream* stream = TamselChart_StreamCreate();
  after(stream != nullptr);
  TamselChart_Stream* clone = nullptr;
  for (int i = 0; i < n; ++i) {
    after(TamselChart_StreamPeek(stream, s.high[i], s.low[i], &o.peeked[i]));
    after(TamselChart_StreamPush(stream, s.high[i], s.low[i], &o.pushed[i]));
    if (clone != nullptr) after(TamselChart_StreamPush(clone, s.high[i], s.low[i], &o.cloned[i]));
    if (i == n / 2) {
      clone = TamselChart_StreamClone(stream);
      after(clone != nullptr);
      o.cloned[i] = o.pushed[i];
    }
  }
  TamselChart_StreamReset(stream);
  after(0);
  after(TamselChart_StreamPush(stream, s.high[0], s.low[0], &o.pushed[0]));
  TamselChart_StreamDestroy(stream);
  after(0);
  TamselChart_StreamDestroy(clone);
  after(0);
  InstallFloatControlWords(library);
  return o;
}

int CountDifferences(const std::vector<float>& a, const std::vector<float>& b) {
  int differ = 0;
  for (std::size_t i = 0; i < a.size(); ++i) differ += !SameFloat(a[i], b[i]);
  return differ;
}

int CountDifferences(const std::vector<TamselChart_Values>& a, const std::vector<TamselChart_Values>& b) {
  int differ = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    differ += !SameFloat(a[i].CyclePeriod, b[i].CyclePeriod) ||
              !SameFloat(a[i].SignalToNoiseRatio, b[i].SignalToNoiseRatio) ||
              !SameFloat(a[i].SwingPosition, b[i].SwingPosition) || !SameFloat(a[i].TrendVigor, b[i].TrendVigor);
  return differ;
}

TEST(FloatEnvironment, HostEnvironmentsGetTheDefaultBitsAndAreHandedBackExactly) {
  const std::vector<Series> series = HostileSeries();
  const FloatControlWords library = ReadFloatControlWords();
  for (const HostEnvironment& host : kHostEnvironments) {
    SCOPED_TRACE(std::string(host.name) + " (" + Describe(host.control) + ")");
    for (const Series& s : series) {
      int unchanged = 0, changed = 0;
      const Outputs want = CallEverything(s, library, unchanged);
      const Outputs got = CallEverything(s, host.control, changed);
      ASSERT_TRUE(SameFloatControlWords(ReadFloatControlWords(), library)) << Describe(ReadFloatControlWords());
      EXPECT_EQ(unchanged, 0) << s.name;
      EXPECT_EQ(changed, 0) << s.name << ": calls that left the host's environment changed";
      EXPECT_EQ(got.counts, want.counts) << s.name;
      for (int e = 0; e < 4; ++e) {
        EXPECT_EQ(CountDifferences(got.single[e], want.single[e]), 0) << s.name << " export " << e;
        EXPECT_EQ(CountDifferences(got.together[e], want.together[e]), 0) << s.name << " all-in-one " << e;
      }
      EXPECT_EQ(CountDifferences(got.pushed, want.pushed), 0) << s.name << " pushed";
      EXPECT_EQ(CountDifferences(got.peeked, want.peeked), 0) << s.name << " peeked";
      EXPECT_EQ(CountDifferences(got.cloned, want.cloned), 0) << s.name << " clone";
    }
  }
}

// The environments above do trap: without the library's own environment the
// swing position's 0/0 on a flat window would kill the host.
TEST(FloatEnvironmentDeathTest, TheUnmaskedHostEnvironmentsTrapOnZeroOverZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const HostEnvironment& host : kHostEnvironments) {
    if ((host.control.mxcsr & 0x0080) != 0) continue;  // invalid operation masked
    EXPECT_DEATH(
        {
          volatile double zero = 0.0;
          InstallFloatControlWords(host.control);
          volatile double quotient = zero / zero;
          (void)quotient;
          InstallFloatControlWords({0x037F, 0, 0x1F80});
          std::exit(0);
        },
        "")
        << host.name;
  }
}

}  // namespace
}  // namespace tamsel::testing

#endif
