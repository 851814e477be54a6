// SPDX-License-Identifier: MIT
// Deterministic price series for tests, golden outputs and benchmarks.
//
// The generator uses only integer arithmetic for its randomness; series that
// also use sin or exp are frozen in the golden file as floats, so the checks
// never depend on this machine's libm.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tamsel::testing {

struct Series {
  std::string name;
  std::vector<float> high;
  std::vector<float> low;
  int Count() const { return static_cast<int>(high.size()); }
};

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t NextBits();
  double Uniform();  // in [0, 1)
  double Normal();   // mean 0, deviation 1

 private:
  std::uint64_t state_;
};

// A random walk of the mid price around `scale`, with bars of random width.
Series RandomWalk(const std::string& name, std::uint64_t seed, int count, double scale);
// A sine of `period` bars around `level`, optionally with noise.
Series Cycle(const std::string& name, std::uint64_t seed, int count, double period, double level, double amplitude,
             double noise);
// A straight line with a slope per bar, plus an optional sine.
Series Trend(const std::string& name, int count, double start, double slope, double period, double amplitude);

// The series whose outputs are frozen in the golden file.
std::vector<Series> GoldenCorpus();

}  // namespace tamsel::testing
