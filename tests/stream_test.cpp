// SPDX-License-Identifier: MIT
// A stream is the batch pass one bar at a time: clones continue as their
// original, reset is a fresh stream, peeking commits nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "TamselCharts.h"
#include "api/stream_state.hpp"
#include "support/generated_series.hpp"
#include "support/golden_file.hpp"

namespace tamsel::testing {
namespace {

bool Same(const TamselChart_Values& a, const TamselChart_Values& b) {
  return SameFloat(a.CyclePeriod, b.CyclePeriod) && SameFloat(a.SignalToNoiseRatio, b.SignalToNoiseRatio) &&
         SameFloat(a.SwingPosition, b.SwingPosition) && SameFloat(a.TrendVigor, b.TrendVigor);
}

std::vector<TamselChart_Values> PushAll(TamselChart_Stream* stream, const Series& s, int from, int to) {
  std::vector<TamselChart_Values> values;
  for (int i = from; i < to; ++i) {
    TamselChart_Values v{};
    TamselChart_StreamPush(stream, s.high[i], s.low[i], &v);
    values.push_back(v);
  }
  return values;
}

TEST(Stream, CloneContinuesAsTheOriginal) {
  const Series s = Cycle("cycle", 21, 1500, 19.0, 60.0, 2.0, 0.3);
  TamselChart_Stream* original = TamselChart_StreamCreate();
  PushAll(original, s, 0, 1100);
  TamselChart_Stream* clone = TamselChart_StreamClone(original);
  ASSERT_NE(clone, nullptr);
  const auto a = PushAll(original, s, 1100, 1500);
  const auto b = PushAll(clone, s, 1100, 1500);
  for (std::size_t i = 0; i < a.size(); ++i) ASSERT_TRUE(Same(a[i], b[i])) << "bar " << 1101 + i;
  TamselChart_StreamDestroy(original);
  TamselChart_StreamDestroy(clone);
}

TEST(Stream, ResetEqualsAFreshStream) {
  const Series s = RandomWalk("walk", 22, 300, 10.0);
  TamselChart_Stream* used = TamselChart_StreamCreate();
  TamselChart_Stream* fresh = TamselChart_StreamCreate();
  PushAll(used, s, 0, 300);
  TamselChart_StreamReset(used);
  const auto a = PushAll(used, s, 0, 300);
  const auto b = PushAll(fresh, s, 0, 300);
  for (std::size_t i = 0; i < a.size(); ++i) ASSERT_TRUE(Same(a[i], b[i])) << "bar " << i + 1;
  TamselChart_StreamDestroy(used);
  TamselChart_StreamDestroy(fresh);
}

TEST(Stream, PeekingTheFormingBarCommitsNothing) {
  const Series s = RandomWalk("walk", 23, 200, 10.0);
  TamselChart_Stream* peeked = TamselChart_StreamCreate();
  TamselChart_Stream* plain = TamselChart_StreamCreate();
  for (int i = 0; i < 200; ++i) {
    TamselChart_Values v{}, w{};
    // A forming bar seen at three prices before it closes.
    for (float wiggle : {0.5f, -0.25f, 2.0f})
      ASSERT_EQ(TamselChart_StreamPeek(peeked, s.high[i] + wiggle, s.low[i], &v), i + 1);
    TamselChart_StreamPush(peeked, s.high[i], s.low[i], &v);
    TamselChart_StreamPush(plain, s.high[i], s.low[i], &w);
    ASSERT_TRUE(Same(v, w)) << "bar " << i + 1;
  }
  TamselChart_StreamDestroy(peeked);
  TamselChart_StreamDestroy(plain);
}

TEST(Stream, NullArgumentsAreHarmless) {
  TamselChart_Values v{};
  EXPECT_EQ(TamselChart_StreamPush(nullptr, 1, 1, &v), 0);
  EXPECT_EQ(TamselChart_StreamPeek(nullptr, 1, 1, &v), 0);
  EXPECT_EQ(TamselChart_StreamClone(nullptr), nullptr);
  TamselChart_StreamReset(nullptr);
  TamselChart_StreamDestroy(nullptr);
  TamselChart_Stream* stream = TamselChart_StreamCreate();
  EXPECT_EQ(TamselChart_StreamPush(stream, 1, 1, nullptr), 0);
  EXPECT_EQ(TamselChart_StreamPush(stream, 1, 1, &v), 1) << "a rejected push commits nothing";
  TamselChart_StreamDestroy(stream);
}

// The sizes the header and the README quote, held to the structures, so
// that neither can drift from what a stream and a batch call really hold.
TEST(Stream, TheDocumentedSizesAreTheStateSizes) {
  // The number right after the words before it (std::regex trips GCC 12's
  // uninitialised-use warning under the sanitizers).
  const auto quoted = [](const std::string& file, const std::string& before) {
    std::ifstream in(std::string(TAMSEL_SOURCE_DIR) + "/" + file);
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    const std::size_t at = all.find(before);
    EXPECT_NE(at, std::string::npos) << file << ": " << before;
    return at == std::string::npos ? -1 : std::atoi(all.c_str() + at + before.size());
  };
  const auto kib = [](std::size_t bytes) { return static_cast<int>(std::lround(static_cast<double>(bytes) / 1024)); };
  EXPECT_EQ(quoted("include/TamselCharts.h", "holds about "), kib(sizeof(TamselChart_Stream)));
  EXPECT_EQ(quoted("README.md", "their state (about "), kib(sizeof(AllIndicators)));
}

}  // namespace
}  // namespace tamsel::testing
