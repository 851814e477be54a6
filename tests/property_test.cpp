// SPDX-License-Identifier: MIT
// Properties that must hold for whole families of series rather than for a
// few hand-picked ones: every value in its indicator's range, a prefix of a
// series giving the prefix of its outputs, and every build of the spectrum
// kernel computing the same bits.  The families reach the corners a host's
// feed can: prices from 1e-30 to 1e38, denormals, signs that flip every bar,
// long flat stretches and bars with no range.
//
// The kernel build is chosen once per process from TAMSELCHARTS_SIMD, so the
// dispatch property compares this process with children of itself run under
// each build (`property_test --write-outputs=FILE` writes the outputs).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TamselCharts.h"
#include "spectrum/spectrum_kernel.hpp"
#include "support/generated_series.hpp"
#include "support/golden_file.hpp"

namespace tamsel::testing {
namespace {

std::string gSelf;  // this binary, for the dispatch children

Series Flat(const std::string& name, int count, float high, float low) {
  return {name, std::vector<float>(count, high), std::vector<float>(count, low)};
}

// The families.  Sizes stay a few hundred bars (one family passes the trend
// vigor's 1024-bar ring) so the suite runs in about a second under the
// sanitizers.
std::vector<Series> Families() {
  std::vector<Series> all;
  std::uint64_t seed = 1000;
  for (double scale : {1e-30, 1e-20, 1e-10, 1e-3, 1.0, 1e3, 1e10, 1e20, 1e30, 1e38}) {
    all.push_back(RandomWalk("walk " + std::to_string(scale), seed++, 400, scale));
    all.push_back(RandomWalk("walk -" + std::to_string(scale), seed++, 300, -scale));
  }
  all.push_back(RandomWalk("walk long", seed++, 2200, 75.0));
  // Denormal prices, and a walk that sinks through the denormal range.
  all.push_back(RandomWalk("denormal walk", seed++, 300, 1e-42));
  {
    Series sinking{"sinking into denormals", {}, {}};
    double mid = 1e-36;
    for (int i = 0; i < 300; ++i, mid *= 0.93) {
      sinking.high.push_back(static_cast<float>(mid * 1.01));
      sinking.low.push_back(static_cast<float>(mid * 0.99));
    }
    all.push_back(sinking);
  }
  for (double period : {6.0, 9.5, 20.0, 30.0, 48.0})
    all.push_back(Cycle("cycle " + std::to_string(period), seed++, 400, period, 100.0, 4.0, 0.2));
  all.push_back(Cycle("cycle at 1e37", seed++, 300, 14.0, 1e37, 4e35, 0.0));
  all.push_back(Cycle("cycle around zero", seed++, 300, 22.0, 0.0, 3.0, 0.3));
  // Signs flipping every bar, at a fixed and at a growing size.
  for (double size : {1.0, 1e30}) {
    Series flip{"alternating " + std::to_string(size), {}, {}};
    Random random(seed++);
    for (int i = 0; i < 300; ++i) {
      const double mid = (i % 2 == 0 ? 1 : -1) * size * (1 + random.Uniform());
      flip.high.push_back(static_cast<float>(mid + size * 0.1));
      flip.low.push_back(static_cast<float>(mid - size * 0.1));
    }
    all.push_back(flip);
  }
  // Flat stretches inside a walk, flat series, and bars with no range.
  {
    Series walk = RandomWalk("flat stretches", seed++, 500, 40.0);
    for (int i = 100; i < 220; ++i) walk.high[i] = walk.high[99], walk.low[i] = walk.low[99];
    for (int i = 300; i < 420; ++i) walk.high[i] = walk.low[i] = 41.0f;
    all.push_back(walk);
  }
  all.push_back(Flat("flat zero", 200, 0.0f, 0.0f));
  all.push_back(Flat("flat tiny", 200, 1e-30f, 1e-30f));
  all.push_back(Flat("flat huge", 200, 3e38f, 2e38f));
  all.push_back(Flat("flat negative", 200, -5.0f, -6.0f));
  {
    Series noRange = RandomWalk("no range", seed++, 300, 10.0);
    noRange.low = noRange.high;
    all.push_back(noRange);
    Series swapped = RandomWalk("swapped", seed++, 300, 10.0);
    std::swap(swapped.high, swapped.low);
    all.push_back(swapped);
  }
  return all;
}

struct Outputs {
  std::vector<float> cyclePeriod, signalToNoise, swingPosition, trendVigor;
};

Outputs Compute(const Series& s, int count) {
  Outputs out{std::vector<float>(count), std::vector<float>(count), std::vector<float>(count),
              std::vector<float>(count)};
  const int written =
      TamselChart_AllIndicators(s.high.data(), s.low.data(), count, out.cyclePeriod.data(), out.signalToNoise.data(),
                                out.swingPosition.data(), out.trendVigor.data());
  EXPECT_EQ(written, count) << s.name;
  return out;
}

void ExpectInRange(const Series& s, const Outputs& out) {
  for (int i = 0; i < s.Count(); ++i) {
    const int bar = i + 1;
    const float cycle = out.cyclePeriod[i];
    if (bar <= 2)
      ASSERT_EQ(cycle, 0.0f) << s.name << " bar " << bar;
    else if (bar <= 14)
      ASSERT_EQ(cycle, 18.0f) << s.name << " bar " << bar;
    else
      ASSERT_TRUE(cycle >= 6.0f && cycle <= 30.0f) << s.name << " bar " << bar << ": " << cycle;
    const float snr = out.signalToNoise[i];
    ASSERT_TRUE(snr == 1.0f || (snr >= 2.0f && snr <= 12.0f)) << s.name << " bar " << bar << ": " << snr;
    const float swing = out.swingPosition[i];
    ASSERT_TRUE(std::isnan(swing) || (swing >= -5.0f && swing <= 5.0f)) << s.name << " bar " << bar << ": " << swing;
    const float vigor = out.trendVigor[i];
    ASSERT_TRUE(vigor >= -10.0f && vigor <= 10.0f) << s.name << " bar " << bar << ": " << vigor;
  }
}

TEST(Property, EveryValueLiesInItsIndicatorsRange) {
  for (const Series& s : Families()) {
    ExpectInRange(s, Compute(s, s.Count()));
    if (HasFatalFailure()) return;
  }
}

// Far more bars than any history holds: every ring wraps many times, and a
// stream fed bar by bar still gives the batch values at every bar.
TEST(Property, AHugeSeriesStaysInRangeAndTheStreamKeepsUp) {
  Series s{"huge", {}, {}};
  std::uint64_t seed = 77;
  for (double scale : {100.0, 1e-25, 3e36, -40.0, 1e-41}) {
    const Series part = RandomWalk("part", seed++, 40000, scale);
    s.high.insert(s.high.end(), part.high.begin(), part.high.end());
    s.low.insert(s.low.end(), part.low.begin(), part.low.end());
  }
  const Outputs out = Compute(s, s.Count());
  ExpectInRange(s, out);
  TamselChart_Stream* stream = TamselChart_StreamCreate();
  ASSERT_NE(stream, nullptr);
  for (int i = 0; i < s.Count(); ++i) {
    TamselChart_Values v{};
    ASSERT_EQ(TamselChart_StreamPush(stream, s.high[i], s.low[i], &v), i + 1);
    ASSERT_TRUE(SameFloat(v.CyclePeriod, out.cyclePeriod[i]) && SameFloat(v.SignalToNoiseRatio, out.signalToNoise[i]) &&
                SameFloat(v.SwingPosition, out.swingPosition[i]) && SameFloat(v.TrendVigor, out.trendVigor[i]))
        << "bar " << i + 1;
  }
  TamselChart_StreamDestroy(stream);
}

TEST(Property, APrefixGivesThePrefixOfTheOutputs) {
  for (const Series& s : Families()) {
    const Outputs full = Compute(s, s.Count());
    for (int n : {1, 2, 3, 12, 13, 14, 15, 26, 27, 51, 52, 53, 150, s.Count() - 1}) {
      if (n < 1 || n > s.Count()) continue;
      const Outputs prefix = Compute(s, n);
      for (int i = 0; i < n; ++i) {
        ASSERT_TRUE(SameFloat(prefix.cyclePeriod[i], full.cyclePeriod[i])) << s.name << " prefix " << n;
        ASSERT_TRUE(SameFloat(prefix.signalToNoise[i], full.signalToNoise[i])) << s.name << " prefix " << n;
        ASSERT_TRUE(SameFloat(prefix.swingPosition[i], full.swingPosition[i])) << s.name << " prefix " << n;
        ASSERT_TRUE(SameFloat(prefix.trendVigor[i], full.trendVigor[i])) << s.name << " prefix " << n;
      }
    }
  }
}

// Every family's outputs as golden-file records, led by an empty record that
// names the kernel build which computed them.
std::vector<GoldenSeries> FamilyOutputs() {
  std::vector<GoldenSeries> records{{std::string("kernel ") + ActiveSpectrumTarget().Name, {}, {}, {}, {}, {}, {}}};
  for (const Series& s : Families()) {
    Outputs out = Compute(s, s.Count());
    records.push_back({s.name, s.high, s.low, std::move(out.cyclePeriod), std::move(out.signalToNoise),
                       std::move(out.swingPosition), std::move(out.trendVigor)});
  }
  return records;
}

// As the library decides it: the processor has the instruction set and the
// operating system saves its registers.
bool CpuRuns(const std::string& target) {
#if defined(TAMSEL_SIMD_DISPATCH)
  const X86VectorSupport support = DecodeX86VectorSupport(ReadX86FeatureWords());
  if (target == "avx2") return support.Avx2;
  if (target == "avx512") return support.Avx512;
#endif
  return target == "baseline";
}

TEST(Property, EveryKernelBuildComputesTheSameBits) {
#if !defined(__linux__)
  GTEST_SKIP() << "runs children of itself through /proc/self/exe";
#else
  const std::vector<GoldenSeries> here = FamilyOutputs();
  int compared = 0;
  for (const std::string target : {"baseline", "avx2", "avx512"}) {
    if (!CpuRuns(target)) continue;
    std::string file = ::testing::TempDir();
    file.append("tamsel_property_").append(std::to_string(::getpid())).append("_").append(target).append(".bin");
    std::string command = "TAMSELCHARTS_SIMD=";
    command.append(target).append(" '").append(gSelf).append("' --write-outputs='").append(file).append("' >/dev/null");
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::vector<GoldenSeries> there = ReadGoldenFile(file);
    std::remove(file.c_str());
    ASSERT_EQ(there.size(), here.size());
    ASSERT_EQ(there[0].name, "kernel " + target) << "the child did not run the build it was asked for";
    for (std::size_t k = 1; k < here.size(); ++k) {
      const GoldenSeries& a = here[k];
      const GoldenSeries& b = there[k];
      ASSERT_EQ(a.name, b.name);
      ASSERT_EQ(a.cyclePeriod.size(), b.cyclePeriod.size());
      for (std::size_t i = 0; i < a.cyclePeriod.size(); ++i) {
        const std::string where = a.name + " bar " + std::to_string(i + 1) + ": " + here[0].name + " vs " + target;
        ASSERT_TRUE(SameFloat(a.cyclePeriod[i], b.cyclePeriod[i])) << where;
        ASSERT_TRUE(SameFloat(a.signalToNoiseRatio[i], b.signalToNoiseRatio[i])) << where;
        ASSERT_TRUE(SameFloat(a.swingPosition[i], b.swingPosition[i])) << where;
        ASSERT_TRUE(SameFloat(a.trendVigor[i], b.trendVigor[i])) << where;
      }
    }
    ++compared;
  }
  EXPECT_GE(compared, 1);
#endif
}

}  // namespace
}  // namespace tamsel::testing

int main(int argc, char** argv) {
#if defined(__linux__)
  tamsel::testing::gSelf = std::filesystem::read_symlink("/proc/self/exe").string();
#endif
  const std::string writeOption = "--write-outputs=";
  if (argc == 2 && std::string(argv[1]).rfind(writeOption, 0) == 0) {
    tamsel::testing::WriteGoldenFile(std::string(argv[1]).substr(writeOption.size()), tamsel::testing::FamilyOutputs());
    return 0;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
