// SPDX-License-Identifier: MIT
// What a host relies on from every batch export: the bar count is the only
// rejected input, exactly count values are written, calls are independent
// and deterministic, a prefix reproduces the longer call's prefix, and no
// call touches the heap.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "TamselCharts.h"
#include "support/generated_series.hpp"
#include "support/golden_file.hpp"

namespace {
std::atomic<long> gAllocations{0};
}

// Counts every C++ allocation of the test binary; the library may make none
// during a batch call.  The replacements pair malloc with free themselves,
// which GCC cannot see through once they are inlined into a caller.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  ++gAllocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace tamsel::testing {
namespace {

struct Export {
  const char* name;
  IndicatorExport fn;
};
const Export kExports[] = {{"CyclePeriod", &TamselChart_CyclePeriod},
                           {"SignalToNoiseRatio", &TamselChart_SignalToNoiseRatio},
                           {"SwingPosition", &TamselChart_SwingPosition},
                           {"TrendVigor", &TamselChart_TrendVigor}};

constexpr float kGuard = -12345.625f;

TEST(CallContract, CountBelowOneReturnsZeroAndWritesNothing) {
  const Series s = RandomWalk("walk", 7, 10, 100.0);
  for (const Export& e : kExports) {
    for (int count : {0, -1, -5, INT32_MIN}) {
      std::vector<float> out(10, kGuard);
      EXPECT_EQ(e.fn(s.high.data(), s.low.data(), count, out.data()), 0) << e.name;
      for (float v : out) EXPECT_EQ(v, kGuard) << e.name;
    }
  }
}

TEST(CallContract, NullArraysAreRejectedWithoutTouchingAnything) {
  const Series s = RandomWalk("walk", 7, 10, 100.0);
  std::vector<float> out(10, kGuard);
  for (const Export& e : kExports) {
    EXPECT_EQ(e.fn(nullptr, s.low.data(), 10, out.data()), 0) << e.name;
    EXPECT_EQ(e.fn(s.high.data(), nullptr, 10, out.data()), 0) << e.name;
    EXPECT_EQ(e.fn(s.high.data(), s.low.data(), 10, nullptr), 0) << e.name;
  }
  for (float v : out) EXPECT_EQ(v, kGuard);
  EXPECT_EQ(TamselChart_AllIndicators(nullptr, s.low.data(), 10, out.data(), nullptr, nullptr, nullptr), 0);
}

TEST(CallContract, WritesExactlyCountValues) {
  const Series s = RandomWalk("walk", 8, 64, 100.0);
  for (const Export& e : kExports) {
    for (int count : {1, 2, 13, 64}) {
      std::vector<float> out(count + 16, kGuard);
      ASSERT_EQ(e.fn(s.high.data(), s.low.data(), count, out.data() + 8), count) << e.name;
      for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i], kGuard) << e.name << " before the buffer";
      for (int i = count + 8; i < count + 16; ++i) EXPECT_EQ(out[i], kGuard) << e.name << " after the buffer";
    }
  }
}

TEST(CallContract, RepeatableAndPrefixStable) {
  const Series s = Cycle("cycle", 9, 600, 17.0, 100.0, 3.0, 0.4);
  for (const Export& e : kExports) {
    std::vector<float> full(600), again(600);
    e.fn(s.high.data(), s.low.data(), 600, full.data());
    e.fn(s.high.data(), s.low.data(), 600, again.data());
    for (int i = 0; i < 600; ++i) ASSERT_TRUE(SameFloat(full[i], again[i])) << e.name;
    for (int n : {1, 2, 3, 14, 15, 51, 52, 299}) {
      std::vector<float> prefix(n);
      e.fn(s.high.data(), s.low.data(), n, prefix.data());
      for (int i = 0; i < n; ++i) ASSERT_TRUE(SameFloat(full[i], prefix[i])) << e.name << " prefix " << n;
    }
  }
}

TEST(CallContract, InputsAreOnlyRead) {
  const Series s = RandomWalk("walk", 10, 200, 100.0);
  Series copy = s;
  std::vector<float> out(200);
  for (const Export& e : kExports) e.fn(copy.high.data(), copy.low.data(), 200, out.data());
  EXPECT_EQ(copy.high, s.high);
  EXPECT_EQ(copy.low, s.low);
}

TEST(CallContract, BatchCallsDoNotAllocate) {
  const Series s = RandomWalk("walk", 11, 2000, 100.0);
  std::vector<float> a(2000), b(2000), c(2000), d(2000);
  const long before = gAllocations.load();
  for (const Export& e : kExports) e.fn(s.high.data(), s.low.data(), 2000, a.data());
  TamselChart_AllIndicators(s.high.data(), s.low.data(), 2000, a.data(), b.data(), c.data(), d.data());
  EXPECT_EQ(gAllocations.load(), before);
}

TEST(CallContract, AllIndicatorsSkipsNullOutputs) {
  const Series s = RandomWalk("walk", 12, 300, 100.0);
  std::vector<float> swing(300), single(300);
  ASSERT_EQ(TamselChart_AllIndicators(s.high.data(), s.low.data(), 300, nullptr, nullptr, swing.data(), nullptr), 300);
  TamselChart_SwingPosition(s.high.data(), s.low.data(), 300, single.data());
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(SameFloat(swing[i], single[i]));
}

// Each bar's prices are read before its value is written, so an output that
// is exactly an input computes in place; any other overlap would overwrite
// prices not yet read, and is refused before anything is written.
TEST(CallContract, AnOutputMayBeItsInputButMayNotOverlapOneOtherwise) {
  const Series s = RandomWalk("walk", 13, 300, 100.0);
  for (const Export& e : kExports) {
    std::vector<float> expected(300);
    e.fn(s.high.data(), s.low.data(), 300, expected.data());
    std::vector<float> high = s.high, low = s.low;
    ASSERT_EQ(e.fn(high.data(), low.data(), 300, high.data()), 300) << e.name;
    for (int i = 0; i < 300; ++i) ASSERT_TRUE(SameFloat(high[i], expected[i])) << e.name << " in place, bar " << i;
    ASSERT_EQ(e.fn(s.high.data(), low.data(), 300, low.data()), 300) << e.name;
    for (int i = 0; i < 300; ++i) ASSERT_TRUE(SameFloat(low[i], expected[i])) << e.name << " over low, bar " << i;

    std::vector<float> shared(s.high);
    shared.resize(310, kGuard);
    const std::vector<float> before = shared;
    for (int shift : {1, 7, 299}) {
      EXPECT_EQ(e.fn(shared.data(), s.low.data(), 300, shared.data() + shift), 0) << e.name << " shift " << shift;
      EXPECT_EQ(e.fn(shared.data() + shift, s.low.data(), 300, shared.data()), 0) << e.name << " shift " << -shift;
    }
    EXPECT_EQ(shared, before) << e.name;
  }
  // Two outputs of one pass may not share memory either.
  std::vector<float> out(600, kGuard);
  EXPECT_EQ(TamselChart_AllIndicators(s.high.data(), s.low.data(), 300, out.data(), nullptr, out.data(), nullptr), 0);
  EXPECT_EQ(TamselChart_AllIndicators(s.high.data(), s.low.data(), 300, out.data(), out.data() + 299, nullptr, nullptr),
            0);
  for (float v : out) EXPECT_EQ(v, kGuard);
  EXPECT_EQ(TamselChart_AllIndicators(s.high.data(), s.low.data(), 300, out.data(), out.data() + 300, nullptr, nullptr),
            300);
}

}  // namespace
}  // namespace tamsel::testing
