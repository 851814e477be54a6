// SPDX-License-Identifier: MIT
// One call of an export over a generated random walk, for counting the
// instructions it executes (bench/instructions.sh runs this under callgrind,
// counting only inside the named export, so the walk's generation and the
// program's start-up are left out).
//
//   tamsel_instruction_count cycle_period|all_indicators|all_indicators_many [bars]
//
// all_indicators_many computes kManySeries walks in one many-series call.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "TamselCharts.h"
#include "support/generated_series.hpp"

namespace {

constexpr int kManySeries = 8;

int AllIndicatorsOfMany(int bars, std::vector<float>& firstOutput) {
  std::vector<tamsel::testing::Series> walks;
  std::vector<std::vector<float>> outputs(4 * kManySeries, std::vector<float>(bars));
  std::vector<TamselChart_SeriesIO> io;
  for (int s = 0; s < kManySeries; ++s) {
    walks.push_back(tamsel::testing::RandomWalk("bench", 42 + s, bars, 100.0 + s));
    io.push_back({walks[s].high.data(), walks[s].low.data(), bars, outputs[4 * s].data(), outputs[4 * s + 1].data(),
                  outputs[4 * s + 2].data(), outputs[4 * s + 3].data()});
  }
  const int computed = TamselChart_AllIndicatorsMany(kManySeries, io.data());
  firstOutput = outputs[0];
  return computed == kManySeries ? bars : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s cycle_period|all_indicators|all_indicators_many [bars]\n", argv[0]);
    return 2;
  }
  const int bars = argc > 2 ? std::atoi(argv[2]) : 20000;
  if (bars < 1) {
    std::fprintf(stderr, "bars must be a positive number\n");
    return 2;
  }
  const tamsel::testing::Series walk = tamsel::testing::RandomWalk("bench", 42, bars, 100.0);
  std::vector<float> a(bars), b(bars), c(bars), d(bars);
  int written = 0;
  if (std::strcmp(argv[1], "cycle_period") == 0) {
    written = TamselChart_CyclePeriod(walk.high.data(), walk.low.data(), bars, a.data());
  } else if (std::strcmp(argv[1], "all_indicators") == 0) {
    written =
        TamselChart_AllIndicators(walk.high.data(), walk.low.data(), bars, a.data(), b.data(), c.data(), d.data());
  } else if (std::strcmp(argv[1], "all_indicators_many") == 0) {
    written = AllIndicatorsOfMany(bars, a);
  } else {
    std::fprintf(stderr, "unknown export '%s': cycle_period, all_indicators or all_indicators_many\n", argv[1]);
    return 2;
  }
  // The last value, so that the call's work is seen to be used.
  std::printf("%d bars, last value %.9g\n", written, static_cast<double>(a[bars - 1]));
  return written == bars ? 0 : 1;
}
