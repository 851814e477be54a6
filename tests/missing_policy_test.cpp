// SPDX-License-Identifier: MIT
// The missing-price policy against the shared table of cases, through the
// batch function, a stream and the C++ wrapper: every front end's tests read
// the same table, so this is where the library's answer to each case is held.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "TamselCharts.hpp"
#include "support/golden_file.hpp"
#include "support/policy_cases.hpp"

namespace tamsel::testing {
namespace {

std::vector<PolicyCase> Cases() { return ReadPolicyCases(TAMSEL_POLICY_CASES_FILE); }

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b)); }

void ExpectTaken(const std::vector<float>& got, const std::vector<float>& want, const std::string& line) {
  ASSERT_EQ(got.size(), want.size()) << line;
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(SameBits(got[i], want[i])) << line << " bar " << i + 1;
}

TEST(MissingPolicy, TheSharedCasesHoldForABatch) {
  const std::vector<PolicyCase> cases = Cases();
  ASSERT_GE(cases.size(), 20u);
  for (const PolicyCase& c : cases) {
    const int count = static_cast<int>(c.high.size());
    std::vector<float> high(c.high.size(), -1.0f), low(c.low.size(), -1.0f);
    TamselChart_PriceProblem problem{-1, -1, -1, -1.0};
    const int taken =
        TamselChart_ApplyMissingPolicy(c.high.data(), c.low.data(), count, c.policy, high.data(), low.data(), &problem);
    if (c.kind == TAMSELCHART_PRICE_OK) {
      EXPECT_EQ(taken, count) << c.line;
      EXPECT_EQ(problem.kind, TAMSELCHART_PRICE_OK) << c.line;
      ExpectTaken(high, c.takenHigh, c.line);
      ExpectTaken(low, c.takenLow, c.line);
      continue;
    }
    EXPECT_EQ(taken, 0) << c.line;
    EXPECT_EQ(problem.kind, c.kind) << c.line;
    EXPECT_EQ(problem.column, c.column) << c.line;
    EXPECT_EQ(problem.bar, c.bar) << c.line;
    const double given = (c.column == TAMSELCHART_COLUMN_HIGH ? c.high : c.low)[c.bar - 1];
    EXPECT_TRUE(problem.price == given || (std::isnan(problem.price) && std::isnan(given))) << c.line;
  }
}

// A stream refuses at the same bar; the refused bar commits nothing, so the
// bars before it continue exactly as a batch of them would, and every value
// on the way is the batch's value of the prices taken.
TEST(MissingPolicy, TheSharedCasesHoldForAStreamAndItsPeek) {
  for (const PolicyCase& c : Cases()) {
    TamselChart_Stream* stream = TamselChart_StreamCreate();
    ASSERT_EQ(TamselChart_StreamSetMissingPolicy(stream, c.policy), 1);
    int bar = 0;
    TamselChart_PriceProblem problem{};
    std::vector<float> high, low;
    for (std::size_t i = 0; i < c.high.size(); ++i) {
      TamselChart_Values peeked{}, pushed{};
      const int peekedBar = TamselChart_StreamPeekPrices(stream, c.high[i], c.low[i], &peeked, &problem);
      bar = TamselChart_StreamPushPrices(stream, c.high[i], c.low[i], &pushed, &problem);
      EXPECT_EQ(peekedBar, bar) << c.line;
      if (bar == 0) break;
      EXPECT_EQ(std::memcmp(&peeked, &pushed, sizeof pushed), 0) << c.line;
      high.push_back(static_cast<float>(c.high[i]));
      low.push_back(static_cast<float>(c.low[i]));
    }
    if (c.kind == TAMSELCHART_PRICE_OK) {
      EXPECT_EQ(bar, static_cast<int>(c.high.size())) << c.line;
    } else {
      EXPECT_EQ(bar, 0) << c.line;
      EXPECT_EQ(problem.kind, c.kind) << c.line;
      EXPECT_EQ(problem.column, c.column) << c.line;
      EXPECT_EQ(problem.bar, c.bar) << c.line;
      // Nothing of the refused bar was committed: the next good bar is bar c.bar.
      TamselChart_Values v{};
      EXPECT_EQ(TamselChart_StreamPushPrices(stream, 1.0, 1.0, &v, nullptr), c.bar) << c.line;
    }
    TamselChart_StreamDestroy(stream);
  }
}

TEST(MissingPolicy, TheWrapperThrowsThePriceErrorOfEachRefusedCase) {
  for (const PolicyCase& c : Cases()) {
    const auto missing = static_cast<Missing>(c.policy);
    if (c.kind == TAMSELCHART_PRICE_OK) {
      const Prices taken = ApplyMissingPolicy(c.high, c.low, missing);
      ExpectTaken(taken.High, c.takenHigh, c.line);
      ExpectTaken(taken.Low, c.takenLow, c.line);
      continue;
    }
    try {
      ApplyMissingPolicy(c.high, c.low, missing);
      ADD_FAILURE() << c.line << ": nothing thrown";
    } catch (const PriceError& e) {
      EXPECT_EQ(e.Problem().kind, c.kind) << c.line;
      const std::string where = std::string(c.column == 0 ? "high" : "low") + " price of bar " + std::to_string(c.bar);
      EXPECT_NE(std::string(e.what()).find(where), std::string::npos) << e.what();
    }
  }
}

TEST(MissingPolicy, AStreamKeepsItsPolicyThroughResetAndCloneAndRefusesANumberThatIsNone) {
  TamselChart_Stream* stream = TamselChart_StreamCreate();
  EXPECT_EQ(TamselChart_StreamMissingPolicy(stream), TAMSELCHART_MISSING_ERROR);
  EXPECT_EQ(TamselChart_StreamSetMissingPolicy(stream, 3), 0);
  EXPECT_EQ(TamselChart_StreamSetMissingPolicy(stream, -1), 0);
  EXPECT_EQ(TamselChart_StreamSetMissingPolicy(nullptr, TAMSELCHART_MISSING_NAN), 0);
  EXPECT_EQ(TamselChart_StreamSetMissingPolicy(stream, TAMSELCHART_MISSING_PREVIOUS), 1);
  TamselChart_StreamReset(stream);
  TamselChart_Stream* clone = TamselChart_StreamClone(stream);
  EXPECT_EQ(TamselChart_StreamMissingPolicy(stream), TAMSELCHART_MISSING_PREVIOUS);
  EXPECT_EQ(TamselChart_StreamMissingPolicy(clone), TAMSELCHART_MISSING_PREVIOUS);
  // A reset forgets the prices: the first bar again has none to repeat.
  TamselChart_Values v{};
  TamselChart_PriceProblem problem{};
  EXPECT_EQ(TamselChart_StreamPushPrices(stream, 10.0, 9.0, &v, &problem), 1);
  TamselChart_StreamReset(stream);
  EXPECT_EQ(TamselChart_StreamPushPrices(stream, NAN, 9.0, &v, &problem), 0);
  EXPECT_EQ(problem.kind, TAMSELCHART_PRICE_NO_PREVIOUS);
  TamselChart_StreamDestroy(clone);
  TamselChart_StreamDestroy(stream);

  float out[2];
  const double prices[2] = {1.0, 2.0};
  EXPECT_EQ(TamselChart_ApplyMissingPolicy(prices, prices, 2, 7, out, out + 1, &problem), 0);
  EXPECT_EQ(problem.kind, TAMSELCHART_PRICE_BAD_POLICY);
  EXPECT_EQ(TamselChart_ApplyMissingPolicy(prices, prices, 0, TAMSELCHART_MISSING_NAN, out, out, &problem), 0);
  EXPECT_EQ(problem.kind, TAMSELCHART_PRICE_OK);
  EXPECT_STREQ(TamselChart_MissingPolicyName(3), nullptr);
  EXPECT_STRNE(TamselChart_PriceProblemText(99), nullptr);
}

// A plain push and a checked one share the memory of the last prices, so a
// host may mix them; the golden series pushed under "previous" are their
// batch values when nothing is missing.
TEST(MissingPolicy, CheckedPushesOfCompletePricesAreTheBatchValues) {
  for (const GoldenSeries& s : ReadGoldenFile(TAMSEL_GOLDEN_FILE)) {
    bool finite = true;
    for (std::size_t i = 0; i < s.high.size(); ++i)
      finite = finite && std::isfinite(s.high[i]) && std::isfinite(s.low[i]);
    if (!finite) continue;
    tamsel::Stream stream(Missing::Previous);
    for (std::size_t i = 0; i < s.high.size(); ++i) {
      const Values v = i % 2 ? stream.PushPrices(s.high[i], s.low[i]) : stream.Push(s.high[i], s.low[i]);
      ASSERT_TRUE(SameFloat(v.CyclePeriod, s.cyclePeriod[i]) && SameFloat(v.TrendVigor, s.trendVigor[i]) &&
                  SameFloat(v.SwingPosition, s.swingPosition[i]) &&
                  SameFloat(v.SignalToNoiseRatio, s.signalToNoiseRatio[i]))
          << s.name << " bar " << i + 1;
    }
  }
}

}  // namespace
}  // namespace tamsel::testing
