// SPDX-License-Identifier: MIT
// Many threads calling every export at once on shared inputs get the results
// of a single-threaded call: the library keeps no state outside a call.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "TamselCharts.h"
#include "support/generated_series.hpp"
#include "support/golden_file.hpp"

namespace tamsel::testing {
namespace {

TEST(Concurrency, ThreadsSharingInputsGetIdenticalResults) {
  const Series s = Cycle("cycle", 31, 1500, 21.0, 100.0, 4.0, 0.5);
  const IndicatorExport exports[] = {&TamselChart_CyclePeriod, &TamselChart_SignalToNoiseRatio,
                                     &TamselChart_SwingPosition, &TamselChart_TrendVigor};
  std::vector<std::vector<float>> expected;
  for (IndicatorExport fn : exports) {
    expected.emplace_back(s.Count());
    fn(s.high.data(), s.low.data(), s.Count(), expected.back().data());
  }
  constexpr int kThreads = 8;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 3; ++round) {
        const int e = (t + round) % 4;
        std::vector<float> out(s.Count());
        exports[e](s.high.data(), s.low.data(), s.Count(), out.data());
        for (int i = 0; i < s.Count(); ++i) mismatches[t] += !SameFloat(out[i], expected[e][i]);
        TamselChart_Stream* stream = TamselChart_StreamCreate();
        TamselChart_Values v{};
        for (int i = 0; i < 300; ++i) TamselChart_StreamPush(stream, s.high[i], s.low[i], &v);
        mismatches[t] += !SameFloat(v.TrendVigor, expected[3][299]);
        TamselChart_StreamDestroy(stream);
        // The shared prices as several series of one many-series call, each
        // its own length, so that the call packs them into lanes.
        std::vector<std::vector<float>> many(5, std::vector<float>(s.Count()));
        std::vector<TamselChart_SeriesIO> io;
        for (std::size_t k = 0; k < many.size(); ++k)
          io.push_back({s.high.data(), s.low.data(), s.Count() - 100 * static_cast<int>(k), nullptr, nullptr,
                        many[k].data(), nullptr});
        mismatches[t] += TamselChart_AllIndicatorsMany(static_cast<int>(io.size()), io.data()) != 5;
        for (std::size_t k = 0; k < many.size(); ++k)
          for (int i = 0; i < io[k].count; ++i) mismatches[t] += !SameFloat(many[k][i], expected[2][i]);
        // A stream set of its own per thread, long enough for its members
        // to share lanes, one member pausing now and then.
        constexpr int kMembers = 9;
        TamselChart_StreamSet* set = TamselChart_StreamSetCreate(kMembers);
        std::vector<int> next(kMembers, 0);
        for (int interval = 0; interval < 400; ++interval) {
          float high[kMembers], low[kMembers];
          unsigned char hasBar[kMembers];
          TamselChart_Values values[kMembers];
          for (int m = 0; m < kMembers; ++m) {
            hasBar[m] = m == 4 && interval % 37 == 0 ? 0 : 1;
            high[m] = s.high[next[m]];
            low[m] = s.low[next[m]];
          }
          TamselChart_StreamSetPush(set, high, low, hasBar, values);
          for (int m = 0; m < kMembers; ++m)
            if (hasBar[m] != 0) mismatches[t] += !SameFloat(values[m].SwingPosition, expected[2][next[m]++]);
        }
        TamselChart_StreamSetDestroy(set);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
}  // namespace tamsel::testing
