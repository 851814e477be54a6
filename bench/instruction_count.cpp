// SPDX-License-Identifier: MIT
// One call of an export over a generated random walk, for counting the
// instructions it executes (bench/instructions.sh runs this under callgrind,
// counting only inside the named export, so the walk's generation and the
// program's start-up are left out).
//
//   tamsel_instruction_count cycle_period|all_indicators [bars]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "TamselCharts.h"
#include "support/generated_series.hpp"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s cycle_period|all_indicators [bars]\n", argv[0]);
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
  } else {
    std::fprintf(stderr, "unknown export '%s': cycle_period or all_indicators\n", argv[1]);
    return 2;
  }
  // The last value, so that the call's work is seen to be used.
  std::printf("%d bars, last value %.9g\n", written, static_cast<double>(a[bars - 1]));
  return written == bars ? 0 : 1;
}
