// SPDX-License-Identifier: MIT
#include "generated_series.hpp"

#include <cmath>
#include <limits>

namespace tamsel::testing {

std::uint64_t Random::NextBits() {
  // splitmix64
  std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

double Random::Uniform() { return static_cast<double>(NextBits() >> 11) * 0x1.0p-53; }

double Random::Normal() {
  // Sum of twelve uniforms: close enough to normal for price noise.
  double sum = -6.0;
  for (int i = 0; i < 12; ++i) sum += Uniform();
  return sum;
}

namespace {

void AddBar(Series& s, double mid, double halfRange) {
  s.high.push_back(static_cast<float>(mid + halfRange));
  s.low.push_back(static_cast<float>(mid - halfRange));
}

constexpr double kTwoPi = 6.283185307179586;

}  // namespace

Series RandomWalk(const std::string& name, std::uint64_t seed, int count, double scale) {
  Random random(seed);
  Series s{name, {}, {}};
  double mid = scale;
  for (int i = 0; i < count; ++i) {
    mid += scale * 0.01 * random.Normal();
    AddBar(s, mid, scale * 0.005 * (0.2 + random.Uniform()));
  }
  return s;
}

Series Cycle(const std::string& name, std::uint64_t seed, int count, double period, double level, double amplitude,
             double noise) {
  Random random(seed);
  Series s{name, {}, {}};
  for (int t = 0; t < count; ++t) {
    const double mid = level + amplitude * std::sin(kTwoPi * t / period) + noise * random.Normal();
    AddBar(s, mid, 1.0 + noise * random.Uniform());
  }
  return s;
}

Series Trend(const std::string& name, int count, double start, double slope, double period, double amplitude) {
  Series s{name, {}, {}};
  for (int t = 0; t < count; ++t) {
    double mid = start + slope * t;
    if (amplitude != 0) mid += amplitude * std::sin(kTwoPi * t / period);
    AddBar(s, mid, 1.0);
  }
  return s;
}

std::vector<Series> GoldenCorpus() {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<Series> corpus;
  const double scales[] = {1e-30, 1e-3, 1.0, 100.0, 5e4, 1e20, 3e37};
  std::uint64_t seed = 1;
  for (double scale : scales) corpus.push_back(RandomWalk("walk_" + std::to_string(scale), seed++, 700, scale));
  corpus.push_back(RandomWalk("walk_long", seed++, 3000, 50.0));
  for (double period : {7.0, 12.0, 20.0, 30.0, 45.0})
    corpus.push_back(Cycle("cycle_" + std::to_string(static_cast<int>(period)), seed++, 400, period, 100.0, 5.0, 0.3));
  corpus.push_back(Cycle("cycle_clean_20", seed++, 300, 20.0, 100.0, 5.0, 0.0));
  corpus.push_back(Trend("trend_up", 300, 100.0, 0.5, 20.0, 3.0));
  corpus.push_back(Trend("trend_down", 300, 400.0, -0.5, 20.0, 3.0));
  corpus.push_back(Trend("line_up", 200, 10.0, 0.5, 1.0, 0.0));

  {
    Series flat{"flat_101_99", std::vector<float>(400, 101.0f), std::vector<float>(400, 99.0f)};
    corpus.push_back(flat);
    Series zeros{"zeros", std::vector<float>(300, 0.0f), std::vector<float>(300, 0.0f)};
    corpus.push_back(zeros);
    Series leadingZeros{"leading_zeros", std::vector<float>(100, 1.0f), std::vector<float>(100, 1.0f)};
    for (int i = 0; i < 3; ++i) leadingZeros.high[i] = leadingZeros.low[i] = 0.0f;
    corpus.push_back(leadingZeros);
  }
  {
    Series walk = RandomWalk("flat_stretches", seed++, 600, 80.0);
    for (int i = 150; i < 260; ++i) walk.high[i] = walk.high[149], walk.low[i] = walk.low[149];
    for (int i = 400; i < 460; ++i) walk.high[i] = walk.low[i] = 42.0f;
    corpus.push_back(walk);
  }
  {
    Series negative = RandomWalk("negative", seed++, 500, -100.0);
    corpus.push_back(negative);
    Series sign = Cycle("crossing_zero", seed++, 500, 16.0, 0.0, 3.0, 0.5);
    corpus.push_back(sign);
  }
  {
    Series swapped = RandomWalk("swapped", seed++, 500, 100.0);
    std::swap(swapped.high, swapped.low);
    corpus.push_back(swapped);
  }
  const struct {
    const char* name;
    float value;
    int bar;
  } poison[] = {{"nan_at_5", nan, 5},
                {"nan_at_200", nan, 200},
                {"inf_at_200", inf, 200},
                {"minus_inf_at_40", -inf, 40},
                {"nan_high_only", nan, 90}};
  for (const auto& p : poison) {
    Series s = Cycle(p.name, seed++, 400, 18.0, 100.0, 4.0, 0.5);
    s.high[p.bar] = p.value;
    if (std::string(p.name) != "nan_high_only") s.low[p.bar] = p.value;
    corpus.push_back(s);
  }
  for (int count = 1; count <= 30; ++count)
    corpus.push_back(RandomWalk("short_" + std::to_string(count), seed++, count, 100.0));
  corpus.push_back(RandomWalk("bars_52", seed++, 52, 100.0));
  return corpus;
}

}  // namespace tamsel::testing
