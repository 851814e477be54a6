// SPDX-License-Identifier: MIT
// The library against the plain per-bar transcription of the indicators, bar
// for bar, over many more generated series than the golden file holds:
// random walks at scales across the float range, cycles, trends, and poison
// values (NaN, infinities, zeros, denormals, sign flips) dropped at random.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "TamselCharts.h"
#include "straightforward.hpp"
#include "support/generated_series.hpp"
#include "support/golden_file.hpp"

namespace tamsel::testing {
namespace {

Series Poisoned(Series s, std::uint64_t seed) {
  Random random(seed);
  const float poison[] = {std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity(),
                          0.0f,
                          -0.0f,
                          std::numeric_limits<float>::denorm_min(),
                          std::numeric_limits<float>::max()};
  const int hits = 1 + static_cast<int>(random.NextBits() % 3);
  for (int h = 0; h < hits && s.Count() > 0; ++h) {
    const int bar = static_cast<int>(random.NextBits() % static_cast<std::uint64_t>(s.Count()));
    const float value = poison[random.NextBits() % 7];
    if (random.NextBits() % 2) s.high[bar] = value;
    if (random.NextBits() % 2) s.low[bar] = value;
  }
  return s;
}

std::vector<Series> Families() {
  std::vector<Series> all;
  std::uint64_t seed = 1000;
  for (double scale : {1e-35, 1e-12, 0.01, 1.0, 3.0, 250.0, 1e9, 1e30, 1e38, -7.0}) {
    for (int count : {1, 2, 13, 27, 60, 333, 1200}) all.push_back(RandomWalk("walk", seed++, count, scale));
  }
  for (int step = 0; step <= 22; ++step) {
    const double period = 5.0 + 2.5 * step;
    all.push_back(Cycle("cycle", seed++, 350, period, 50.0, 2.0 + period / 10, 0.2));
  }
  for (double slope : {-2.0, -0.01, 0.0, 0.3, 5.0}) all.push_back(Trend("trend", 300, 500.0, slope, 23.0, 4.0));
  // A move, then a long flat stretch: the filters ring down through the
  // subnormal doubles and the power ratios reach their extremes.
  for (double scale : {1e-20, 1.0, 1e30}) {
    Series s = RandomWalk("ring_down", seed++, 120, scale);
    s.high.resize(4000, s.high.back());
    s.low.resize(4000, s.low.back());
    all.push_back(s);
  }
  // A run of zeros of either sign before a walk: the swing position's window
  // holds nothing but tied zeros, whose extremes leave it bar after bar,
  // then the walk's values push the last of them out.
  for (double scale : {1.0, 1e30}) {
    const Series walk = RandomWalk("zero_run", seed++, 150, scale);
    Series s{"zero_run", {}, {}};
    for (int i = 0; i < 70; ++i) {
      s.high.push_back(i % 3 == 0 ? -0.0f : 0.0f);
      s.low.push_back(i % 2 == 0 ? -0.0f : 0.0f);
    }
    s.high.insert(s.high.end(), walk.high.begin(), walk.high.end());
    s.low.insert(s.low.end(), walk.low.begin(), walk.low.end());
    all.push_back(s);
  }
  // Any float bit patterns at all, NaNs and infinities included.
  for (int count : {5, 40, 400}) {
    Random random(seed++);
    Series s{"float_bits", {}, {}};
    for (int i = 0; i < count; ++i) {
      for (auto* side : {&s.high, &s.low}) {
        const auto bits = static_cast<std::uint32_t>(random.NextBits());
        float f;
        std::memcpy(&f, &bits, sizeof f);
        side->push_back(f);
      }
    }
    all.push_back(s);
  }
  const std::size_t clean = all.size();
  for (std::size_t i = 0; i < clean; i += 3) all.push_back(Poisoned(all[i], seed++));
  return all;
}

TEST(Transcription, EveryExportMatchesBarForBar) {
  const std::pair<IndicatorExport, int (*)(const float*, const float*, int, float*)> pairs[] = {
      {&TamselChart_CyclePeriod, &straightforward::CyclePeriod},
      {&TamselChart_SignalToNoiseRatio, &straightforward::SignalToNoiseRatio},
      {&TamselChart_SwingPosition, &straightforward::SwingPosition},
      {&TamselChart_TrendVigor, &straightforward::TrendVigor},
  };
  const char* names[] = {"cycle period", "signal-to-noise", "swing position", "trend vigor"};
  for (const Series& s : Families()) {
    const int n = s.Count();
    for (int e = 0; e < 4; ++e) {
      std::vector<float> want(n), got(n);
      pairs[e].second(s.high.data(), s.low.data(), n, want.data());
      pairs[e].first(s.high.data(), s.low.data(), n, got.data());
      for (int i = 0; i < n; ++i)
        ASSERT_TRUE(SameFloat(want[i], got[i])) << names[e] << ", " << s.name << " of " << n << " bars, bar " << i + 1
                                                << ": want " << want[i] << " got " << got[i];
    }
  }
}

}  // namespace
}  // namespace tamsel::testing
