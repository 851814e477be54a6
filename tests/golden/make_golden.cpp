// SPDX-License-Identifier: MIT
// Freezes the golden outputs: runs the plain transcription of the indicators
// over the generated corpus and writes tests/golden/golden.bin.
//
//   make_golden tests/golden/golden.bin
//
// Run it only when the corpus grows; a changed output of an existing series
// is a defect, never a reason to regenerate.
#include <cstdio>

#include "../support/generated_series.hpp"
#include "../support/golden_file.hpp"
#include "straightforward.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_golden OUTPUT\n");
    return 2;
  }
  std::vector<tamsel::testing::GoldenSeries> golden;
  for (const auto& s : tamsel::testing::GoldenCorpus()) {
    tamsel::testing::GoldenSeries g{s.name, s.high, s.low, {}, {}, {}, {}};
    const int n = s.Count();
    for (auto* out : {&g.cyclePeriod, &g.signalToNoiseRatio, &g.swingPosition, &g.trendVigor}) out->resize(n);
    straightforward::CyclePeriod(s.high.data(), s.low.data(), n, g.cyclePeriod.data());
    straightforward::SignalToNoiseRatio(s.high.data(), s.low.data(), n, g.signalToNoiseRatio.data());
    straightforward::SwingPosition(s.high.data(), s.low.data(), n, g.swingPosition.data());
    straightforward::TrendVigor(s.high.data(), s.low.data(), n, g.trendVigor.data());
    golden.push_back(std::move(g));
  }
  tamsel::testing::WriteGoldenFile(argv[1], golden);
  std::printf("%zu series written to %s\n", golden.size(), argv[1]);
  return 0;
}
