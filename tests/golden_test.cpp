// SPDX-License-Identifier: MIT
// Every path through the library reproduces the frozen golden outputs bit for
// bit: the four exports, the all-in-one pass and a stream, pushed and peeked.
#include <gtest/gtest.h>

#include "../src/spectrum/spectrum_kernel.hpp"
#include "TamselCharts.h"
#include "support/golden_file.hpp"

namespace tamsel::testing {
namespace {

std::vector<GoldenSeries> Golden() { return ReadGoldenFile(TAMSEL_GOLDEN_FILE); }

// The first bar that differs, for a readable failure.
::testing::AssertionResult SameOutputs(const std::vector<float>& want, const std::vector<float>& got) {
  for (std::size_t i = 0; i < want.size(); ++i)
    if (!SameFloat(want[i], got[i]))
      return ::testing::AssertionFailure() << "bar " << i + 1 << ": want " << want[i] << " got " << got[i];
  return ::testing::AssertionSuccess();
}

TEST(Golden, ReportsTheSpectrumTarget) {
  RecordProperty("spectrum_target", ActiveSpectrumTarget().Name);
  std::printf("spectrum kernel: %s\n", ActiveSpectrumTarget().Name);
}

TEST(Golden, EachExportMatches) {
  const std::pair<IndicatorExport, std::vector<float> GoldenSeries::*> exports[] = {
      {&TamselChart_CyclePeriod, &GoldenSeries::cyclePeriod},
      {&TamselChart_SignalToNoiseRatio, &GoldenSeries::signalToNoiseRatio},
      {&TamselChart_SwingPosition, &GoldenSeries::swingPosition},
      {&TamselChart_TrendVigor, &GoldenSeries::trendVigor},
  };
  for (const GoldenSeries& s : Golden()) {
    const int n = static_cast<int>(s.high.size());
    for (const auto& [fn, member] : exports) {
      std::vector<float> out(n);
      ASSERT_EQ(fn(s.high.data(), s.low.data(), n, out.data()), n);
      EXPECT_TRUE(SameOutputs(s.*member, out)) << s.name;
    }
  }
}

TEST(Golden, AllIndicatorsMatches) {
  for (const GoldenSeries& s : Golden()) {
    const int n = static_cast<int>(s.high.size());
    std::vector<float> cp(n), snr(n), swing(n), trend(n);
    ASSERT_EQ(
        TamselChart_AllIndicators(s.high.data(), s.low.data(), n, cp.data(), snr.data(), swing.data(), trend.data()),
        n);
    EXPECT_TRUE(SameOutputs(s.cyclePeriod, cp)) << s.name;
    EXPECT_TRUE(SameOutputs(s.signalToNoiseRatio, snr)) << s.name;
    EXPECT_TRUE(SameOutputs(s.swingPosition, swing)) << s.name;
    EXPECT_TRUE(SameOutputs(s.trendVigor, trend)) << s.name;
  }
}

TEST(Golden, StreamPeekThenPushMatches) {
  TamselChart_Stream* stream = TamselChart_StreamCreate();
  ASSERT_NE(stream, nullptr);
  for (const GoldenSeries& s : Golden()) {
    TamselChart_StreamReset(stream);
    std::vector<float> cp, snr, swing, trend;
    for (std::size_t i = 0; i < s.high.size(); ++i) {
      TamselChart_Values peeked{}, pushed{};
      ASSERT_EQ(TamselChart_StreamPeek(stream, s.high[i], s.low[i], &peeked), static_cast<int>(i + 1));
      ASSERT_EQ(TamselChart_StreamPush(stream, s.high[i], s.low[i], &pushed), static_cast<int>(i + 1));
      ASSERT_TRUE(SameFloat(peeked.CyclePeriod, pushed.CyclePeriod) &&
                  SameFloat(peeked.SignalToNoiseRatio, pushed.SignalToNoiseRatio) &&
                  SameFloat(peeked.SwingPosition, pushed.SwingPosition) &&
                  SameFloat(peeked.TrendVigor, pushed.TrendVigor))
          << s.name << " bar " << i + 1;
      cp.push_back(pushed.CyclePeriod);
      snr.push_back(pushed.SignalToNoiseRatio);
      swing.push_back(pushed.SwingPosition);
      trend.push_back(pushed.TrendVigor);
    }
    EXPECT_TRUE(SameOutputs(s.cyclePeriod, cp)) << s.name;
    EXPECT_TRUE(SameOutputs(s.signalToNoiseRatio, snr)) << s.name;
    EXPECT_TRUE(SameOutputs(s.swingPosition, swing)) << s.name;
    EXPECT_TRUE(SameOutputs(s.trendVigor, trend)) << s.name;
  }
  TamselChart_StreamDestroy(stream);
}

}  // namespace
}  // namespace tamsel::testing
