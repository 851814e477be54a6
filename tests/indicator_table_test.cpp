// SPDX-License-Identifier: MIT
// The indicator table that every front end reads, held against the golden
// outputs: the order is that of TamselChart_Values, each entry's export
// computes its column, and the warm-up and ranges are what the series show.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "TamselCharts.hpp"
#include "support/golden_file.hpp"

namespace tamsel::testing {
namespace {

const std::vector<float>& Column(const GoldenSeries& s, int index) {
  switch (index) {
    case 0:
      return s.cyclePeriod;
    case 1:
      return s.signalToNoiseRatio;
    case 2:
      return s.swingPosition;
    default:
      return s.trendVigor;
  }
}

bool AllFinite(const GoldenSeries& s) {
  for (std::size_t i = 0; i < s.high.size(); ++i)
    if (!std::isfinite(s.high[i]) || !std::isfinite(s.low[i])) return false;
  return true;
}

TEST(IndicatorTable, EachEntryNamesItsOwnExportInTheOrderOfTheValues) {
  ASSERT_EQ(TamselChart_IndicatorCount(), 4);
  EXPECT_EQ(TamselChart_Indicator(-1), nullptr);
  EXPECT_EQ(TamselChart_Indicator(4), nullptr);
  std::set<std::string> columns;
  const std::vector<GoldenSeries> golden = ReadGoldenFile(TAMSEL_GOLDEN_FILE);
  for (int i = 0; i < TamselChart_IndicatorCount(); ++i) {
    const TamselChart_IndicatorInfo& info = *TamselChart_Indicator(i);
    columns.insert(info.column);
    EXPECT_EQ(std::string(info.exportName).rfind("TamselChart_", 0), 0u) << info.exportName;
    for (const GoldenSeries& s : golden) {
      std::vector<float> out(s.high.size());
      info.compute(s.high.data(), s.low.data(), static_cast<int>(out.size()), out.data());
      for (std::size_t bar = 0; bar < out.size(); ++bar)
        ASSERT_TRUE(SameFloat(out[bar], Column(s, i)[bar])) << info.column << " " << s.name << " bar " << bar + 1;
    }
  }
  EXPECT_EQ(columns, (std::set<std::string>{"cycle_period", "signal_to_noise", "swing_position", "trend_vigor"}));
  EXPECT_EQ(Indicators().size(), 4u);
}

// Cycle period and signal-to-noise hold fixed start values for exactly their
// warm-up bars on every series with prices; the bar after can differ.
TEST(IndicatorTable, TheWarmupIsTheStartUpTheGoldenSeriesShow) {
  const TamselChart_IndicatorInfo& period = *TamselChart_Indicator(0);
  const TamselChart_IndicatorInfo& ratio = *TamselChart_Indicator(1);
  bool periodMoves = false;
  bool ratioMoves = false;
  for (const GoldenSeries& s : ReadGoldenFile(TAMSEL_GOLDEN_FILE)) {
    if (s.high.size() <= 60 || !AllFinite(s)) continue;
    for (int bar = 0; bar < period.warmupBars; ++bar)
      EXPECT_EQ(s.cyclePeriod[bar], bar < 2 ? 0.0f : 18.0f) << s.name << " bar " << bar + 1;
    for (int bar = 0; bar < ratio.warmupBars; ++bar) EXPECT_EQ(s.signalToNoiseRatio[bar], 1.0f) << s.name;
    periodMoves = periodMoves || s.cyclePeriod[period.warmupBars] != 18.0f;
    ratioMoves = ratioMoves || s.signalToNoiseRatio[ratio.warmupBars] != 1.0f;
  }
  EXPECT_TRUE(periodMoves);
  EXPECT_TRUE(ratioMoves);
  // The 51-bar window and a look-back of at most 29 bars.
  EXPECT_EQ(TamselChart_Indicator(2)->warmupBars, 50);
  EXPECT_EQ(TamselChart_Indicator(3)->warmupBars, 29);
}

TEST(IndicatorTable, EveryGoldenValueOnFinitePricesLiesInItsRange) {
  for (const GoldenSeries& s : ReadGoldenFile(TAMSEL_GOLDEN_FILE)) {
    if (!AllFinite(s)) continue;
    for (int i = 0; i < TamselChart_IndicatorCount(); ++i) {
      const TamselChart_IndicatorInfo& info = *TamselChart_Indicator(i);
      for (float v : Column(s, i)) {
        if (std::isnan(v)) {
          EXPECT_TRUE(info.mayBeNaN) << info.column << " " << s.name;
          continue;
        }
        EXPECT_TRUE(v >= info.lowest && v <= info.highest) << info.column << " " << s.name << ": " << v;
      }
    }
  }
}

// The names a person would take for the high and the low price, and names
// that only contain the words.
TEST(IndicatorTable, TheColumnNameRuleFindsThePricesAPersonWould) {
  struct Case {
    const char* name;
    const char* names;  // "high", "low" or "" for neither
  };
  const Case cases[] = {
      {"high", "high"},
      {"High", "high"},
      {"HIGH", "high"},
      {" High ", "high"},
      {"\tlow\t", "low"},
      {"<HIGH>", "high"},
      {"< Low >", "low"},
      {"AAPL.High", "high"},
      {"SPY.Low", "low"},
      {"BRK.B.High", "high"},
      {"x. low ", "low"},
      {"Low", "low"},
      {"SlowMA", ""},
      {"Lowest", ""},
      {"HighWaterMark", ""},
      {"highs", ""},
      {"lo", ""},
      {"Hi", ""},
      {"High Price", ""},
      {"AAPL.Close", ""},
      {"", ""},
      {"<>", ""},
      {"high.", ""},
      {"Open", ""},
      {"<High", ""},
      {"\"High\"", ""},
      {"High_1", ""},
      {"HIGH>", ""},
      {"low.high", "high"},
      {"Adj Low", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TamselChart_ColumnNameMatches(c.name, "high"), std::string(c.names) == "high") << c.name;
    EXPECT_EQ(TamselChart_ColumnNameMatches(c.name, "low"), std::string(c.names) == "low") << c.name;
  }
  // What the user asks for is taken whole, dots included.
  EXPECT_EQ(TamselChart_ColumnNameMatches("AAPL.High", "aapl.high"), 1);
  EXPECT_EQ(TamselChart_ColumnNameMatches("MSFT.High", "AAPL.High"), 0);
  EXPECT_EQ(TamselChart_ColumnNameMatches("Bid", " <BID> "), 1);
  EXPECT_EQ(TamselChart_ColumnNameMatches(nullptr, "high"), 0);
  EXPECT_EQ(TamselChart_ColumnNameMatches("high", nullptr), 0);
}

}  // namespace
}  // namespace tamsel::testing
