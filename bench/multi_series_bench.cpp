// SPDX-License-Identifier: MIT
// Many series at once: all four indicators of 64 random-walk series through
// one many-series call against 64 single TamselChart_AllIndicators calls in
// the same run (and against the engine built around glibc's vector
// logarithm and around none, its floors), and stream sets of 512 members
// and of 6 (fewer than the widest engine's lanes) pushed interval by
// interval.
// The summary prints ns per series-bar and the many-series speed-up.
//
//   tamsel_multi_bench [--bars=N] [google benchmark flags]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "TamselCharts.h"
#include "counter_figures.hpp"
#include "support/generated_series.hpp"
#if defined(TAMSEL_BENCH_FLOORS)
#include "many_series_floors.hpp"
#endif

namespace {

int gBars = 100000;
constexpr int kBatchSeries = 64;

const std::vector<tamsel::testing::Series>& Walks(int count) {
  static std::vector<tamsel::testing::Series> walks;
  while (static_cast<int>(walks.size()) < count) {
    const auto seed = static_cast<std::uint64_t>(walks.size()) + 1;
    walks.push_back(tamsel::testing::RandomWalk("walk", seed, gBars, 10.0 + static_cast<double>(seed)));
  }
  return walks;
}

struct BatchOutputs {
  std::vector<float> values[4];
  BatchOutputs() {
    for (auto& v : values) v.resize(static_cast<std::size_t>(gBars));
  }
};

void PerSeriesBar(benchmark::State& state, int series) {
  state.counters["ns_per_series_bar"] = benchmark::Counter(static_cast<double>(state.iterations()) * series * gBars,
                                                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void SingleCalls(benchmark::State& state) {
  const auto& walks = Walks(kBatchSeries);
  std::vector<BatchOutputs> out(kBatchSeries);
  for (auto _ : state) {
    for (int s = 0; s < kBatchSeries; ++s) {
      auto& o = out[static_cast<std::size_t>(s)].values;
      TamselChart_AllIndicators(walks[s].high.data(), walks[s].low.data(), gBars, o[0].data(), o[1].data(), o[2].data(),
                                o[3].data());
    }
    benchmark::DoNotOptimize(out.data());
  }
  PerSeriesBar(state, kBatchSeries);
}

// The walks with their outputs, as a many-series call takes them.
struct Batch {
  std::vector<BatchOutputs> out;
  std::vector<TamselChart_SeriesIO> io;
  Batch() : out(kBatchSeries) {
    const auto& walks = Walks(kBatchSeries);
    io.reserve(kBatchSeries);
    for (int s = 0; s < kBatchSeries; ++s) {
      auto& o = out[static_cast<std::size_t>(s)].values;
      io.push_back(
          {walks[s].high.data(), walks[s].low.data(), gBars, o[0].data(), o[1].data(), o[2].data(), o[3].data()});
    }
  }
  Batch(const Batch&) = delete;  // io points into out
  Batch& operator=(const Batch&) = delete;
};

void ManySeries(benchmark::State& state) {
  Batch batch;
  for (auto _ : state) {
    if (TamselChart_AllIndicatorsMany(kBatchSeries, batch.io.data()) != kBatchSeries) state.SkipWithError("refused");
    benchmark::DoNotOptimize(batch.out.data());
  }
  PerSeriesBar(state, kBatchSeries);
}

#if defined(TAMSEL_BENCH_FLOORS)
// The batch of ManySeries through the active engine's floor of the same
// width, pass by pass as the many-series call runs them: what the lanes
// would cost with a logarithm that is not correctly rounded, or with none.
template <bool kWithLog>
void ManySeriesOnFloor(benchmark::State& state) {
  const int width = tamsel::ActiveSeriesLanes().Width;
  if (width != 8 && width != 4) {
    state.SkipWithError("the floors are built for the AVX2 and AVX-512 engines only");
    return;
  }
  const tamsel::SeriesLanesKernel& floor =
      width == 8
          ? (kWithLog ? tamsel::many_floor_avx512_libmvec::kSeriesLanes : tamsel::many_floor_avx512_nolog::kSeriesLanes)
          : (kWithLog ? tamsel::many_floor_avx2_libmvec::kSeriesLanes : tamsel::many_floor_avx2_nolog::kSeriesLanes);
  Batch batch;
  std::vector<const TamselChart_SeriesIO*> pass(batch.io.size());
  for (std::size_t s = 0; s < pass.size(); ++s) pass[s] = &batch.io[s];
  for (auto _ : state) {
    for (int first = 0; first < kBatchSeries; first += width)
      if (!floor.Run(pass.data() + first, std::min(width, kBatchSeries - first))) state.SkipWithError("no memory");
    benchmark::DoNotOptimize(batch.out.data());
  }
  PerSeriesBar(state, kBatchSeries);
}
#endif

// Every member has a bar every interval; the prices come from a few walks
// in turn, read across members as a feed would deliver them.  The set's
// size is the benchmark's argument.
void StreamSetPush(benchmark::State& state) {
  const auto& walks = Walks(8);
  const int members = static_cast<int>(state.range(0));
  // 5,000 intervals per iteration at the default.
  const int bars = gBars / 20;
  std::vector<float> high(static_cast<std::size_t>(bars) * static_cast<std::size_t>(members)), low(high.size());
  for (int bar = 0; bar < bars; ++bar)
    for (int m = 0; m < members; ++m) {
      const std::size_t at =
          static_cast<std::size_t>(bar) * static_cast<std::size_t>(members) + static_cast<std::size_t>(m);
      high[at] = walks[static_cast<std::size_t>(m) % walks.size()].high[static_cast<std::size_t>(bar)];
      low[at] = walks[static_cast<std::size_t>(m) % walks.size()].low[static_cast<std::size_t>(bar)];
    }
  std::vector<TamselChart_Values> out(static_cast<std::size_t>(members));
  for (auto _ : state) {
    TamselChart_StreamSet* set = TamselChart_StreamSetCreate(members);
    for (int bar = 0; bar < bars; ++bar) {
      const std::size_t at = static_cast<std::size_t>(bar) * static_cast<std::size_t>(members);
      TamselChart_StreamSetPush(set, high.data() + at, low.data() + at, nullptr, out.data());
    }
    benchmark::DoNotOptimize(out.data());
    TamselChart_StreamSetDestroy(set);
  }
  state.counters["ns_per_series_bar"] = benchmark::Counter(static_cast<double>(state.iterations()) * members * bars,
                                                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

class SummaryReporter : public tamsel::bench::CounterFiguresReporter {
 public:
  SummaryReporter() : CounterFiguresReporter("ns_per_series_bar") {}
  void Finalize() override {
    ConsoleReporter::Finalize();
    double single = 0, many = 0, libmvec = 0, noLog = 0;
    std::printf("\n%-20s %18s\n", "per series-bar", "ns");
    for (const auto& [name, ns] : Figures()) {
      std::printf("%-20s %18.1f\n", name.c_str(), ns);
      if (name == "SingleCalls") single = ns;
      if (name == "ManySeries") many = ns;
      if (name == "ManySeriesLibmvecFloor") libmvec = ns;
      if (name == "ManySeriesNoLogFloor") noLog = ns;
    }
    if (single > 0 && many > 0) std::printf("many-series speed-up over single calls: %.2fx\n", single / many);
    // The lanes with no logarithm at all bound what any logarithm could
    // give the many-series call.
    if (single > 0 && many > 0 && libmvec > 0 && noLog > 0)
      std::printf(
          "many-series call against its floors: %.2fx libmvec's, %.2fx no logarithm's"
          " (single calls over that floor: %.2fx)\n",
          many / libmvec, many / noLog, single / noLog);
  }
};

}  // namespace

BENCHMARK(SingleCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(ManySeries)->Unit(benchmark::kMillisecond);
#if defined(TAMSEL_BENCH_FLOORS)
BENCHMARK(ManySeriesOnFloor<true>)->Name("ManySeriesLibmvecFloor")->Unit(benchmark::kMillisecond);
BENCHMARK(ManySeriesOnFloor<false>)->Name("ManySeriesNoLogFloor")->Unit(benchmark::kMillisecond);
#endif
BENCHMARK(StreamSetPush)->Arg(512)->Arg(6)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--bars=", 7) == 0 && i > 0)
      gBars = std::max(1000, std::atoi(argv[i] + 7));
    else
      rest.push_back(argv[i]);
  }
  int restCount = static_cast<int>(rest.size());
  benchmark::Initialize(&restCount, rest.data());
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
