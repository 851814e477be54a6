// SPDX-License-Identifier: MIT
// Cost per bar of every path through the library, against the plain per-bar
// transcription of each indicator (which recomputes every coefficient with the
// same correctly rounded functions) and against the 49 natural logarithms of
// the decibel spectrum, taken one call at a time and over the active kernel's
// vectors.
//
// The cycle period is also timed with the active kernel rebuilt around
// glibc's vector logarithm of the same width (libmvec, not correctly
// rounded) and around no logarithm at all: the floors an exact kernel is
// measured against.
//
// The summary prints each benchmark's cost as a multiple of the 49 scalar
// logarithms, its speed-up over the transcribed cycle period, the
// all-in-one pass against four transcribed calls, and the cycle period
// against its floors.
//
//   tamsel_bench [--bars=N] [google benchmark flags]
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "TamselCharts.h"
#include "api/float_environment_guard.hpp"
#include "counter_figures.hpp"
#include "spectrum/runtime_math.hpp"
#include "spectrum/spectrum_kernel.hpp"
#include "straightforward.hpp"
#include "support/float_control_words.h"
#include "support/generated_series.hpp"
#if defined(TAMSEL_BENCH_FLOORS)
#include "spectrum_floors.hpp"
#endif

namespace {

int gBars = 1000000;

const tamsel::testing::Series& Prices() {
  static const tamsel::testing::Series series = tamsel::testing::RandomWalk("bench", 42, gBars, 100.0);
  return series;
}

void PerBar(benchmark::State& state) {
  state.counters["ns_per_bar"] = benchmark::Counter(static_cast<double>(state.iterations()) * gBars,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

template <int (*Fn)(const float*, const float*, int, float*)>
void Export(benchmark::State& state) {
  const auto& s = Prices();
  std::vector<float> out(s.Count());
  for (auto _ : state) {
    Fn(s.high.data(), s.low.data(), s.Count(), out.data());
    benchmark::DoNotOptimize(out.data());
  }
  PerBar(state);
}

void AllIndicators(benchmark::State& state) {
  const auto& s = Prices();
  std::vector<float> a(s.Count()), b(s.Count()), c(s.Count()), d(s.Count());
  for (auto _ : state) {
    TamselChart_AllIndicators(s.high.data(), s.low.data(), s.Count(), a.data(), b.data(), c.data(), d.data());
    benchmark::DoNotOptimize(d.data());
  }
  PerBar(state);
}

void StreamPush(benchmark::State& state) {
  const auto& s = Prices();
  for (auto _ : state) {
    TamselChart_Stream* stream = TamselChart_StreamCreate();
    TamselChart_Values v;
    for (int i = 0; i < s.Count(); ++i) TamselChart_StreamPush(stream, s.high[i], s.low[i], &v);
    benchmark::DoNotOptimize(v);
    TamselChart_StreamDestroy(stream);
  }
  PerBar(state);
}

// Peeks the forming bar once before committing it: the cost of a live chart
// that redraws on every tick, per bar, minus the push.
void StreamPeek(benchmark::State& state) {
  const auto& s = Prices();
  TamselChart_Stream* stream = TamselChart_StreamCreate();
  TamselChart_Values v;
  for (int i = 0; i < 200; ++i) TamselChart_StreamPush(stream, s.high[i], s.low[i], &v);
  for (auto _ : state) {
    for (int i = 0; i < s.Count(); ++i) TamselChart_StreamPeek(stream, s.high[i], s.low[i], &v);
    benchmark::DoNotOptimize(v);
  }
  TamselChart_StreamDestroy(stream);
  PerBar(state);
}

// A restarting live system saves and loads each stream once: the cost of
// one snapshot of about 11 KB each way (a copy and a CRC-32C, a few
// microseconds), after 1,000 bars so that every history holds prices.
TamselChart_Stream* StreamAfterBars(int bars) {
  const auto& s = Prices();
  TamselChart_Stream* stream = TamselChart_StreamCreate();
  TamselChart_Values v;
  for (int i = 0; i < bars && i < s.Count(); ++i) TamselChart_StreamPush(stream, s.high[i], s.low[i], &v);
  return stream;
}

void StreamSave(benchmark::State& state) {
  TamselChart_Stream* stream = StreamAfterBars(1000);
  std::vector<unsigned char> bytes(TAMSELCHART_SNAPSHOT_MAX_BYTES);
  for (auto _ : state) {
    benchmark::DoNotOptimize(TamselChart_StreamSave(stream, bytes.data(), static_cast<int>(bytes.size())));
    benchmark::ClobberMemory();
  }
  TamselChart_StreamDestroy(stream);
}

void StreamLoad(benchmark::State& state) {
  TamselChart_Stream* stream = StreamAfterBars(1000);
  std::vector<unsigned char> bytes(TAMSELCHART_SNAPSHOT_MAX_BYTES);
  const int size = TamselChart_StreamSave(stream, bytes.data(), static_cast<int>(bytes.size()));
  TamselChart_StreamDestroy(stream);
  for (auto _ : state) {
    TamselChart_Stream* loaded = TamselChart_StreamLoad(bytes.data(), size, nullptr);
    benchmark::DoNotOptimize(loaded);
    TamselChart_StreamDestroy(loaded);
  }
}

#if defined(__x86_64__) || defined(__i386__)
// The control words of a host built with Delphi: invalid operation, division
// by zero and overflow unmasked, x87 at 64 bits.  Installed only around the
// library calls, since the benchmark's own timing code would trap in it.
class InHostEnvironment {
 public:
  InHostEnvironment() { InstallFloatControlWords({0x1332, 0x00, 0x1900}); }
  ~InHostEnvironment() { InstallFloatControlWords(saved_); }

 private:
  FloatControlWords saved_ = ReadFloatControlWords();
};

void StreamPushFromDelphiHost(benchmark::State& state) {
  const auto& s = Prices();
  for (auto _ : state) {
    TamselChart_Stream* stream = TamselChart_StreamCreate();
    TamselChart_Values v;
    {
      const InHostEnvironment host;
      for (int i = 0; i < s.Count(); ++i) TamselChart_StreamPush(stream, s.high[i], s.low[i], &v);
    }
    benchmark::DoNotOptimize(v);
    TamselChart_StreamDestroy(stream);
  }
  PerBar(state);
}

// What every entry point pays to compute in its own floating-point
// environment and hand the caller's back, once per "bar" here: from a host
// in the default environment, and from one that needs every word changed.
void EnvironmentGuard(benchmark::State& state) {
  for (auto _ : state)
    for (int i = 0; i < gBars; ++i) const tamsel::FloatEnvironmentGuard guard;
  PerBar(state);
}

void EnvironmentGuardFromDelphiHost(benchmark::State& state) {
  for (auto _ : state) {
    const InHostEnvironment host;
    for (int i = 0; i < gBars; ++i) const tamsel::FloatEnvironmentGuard guard;
  }
  PerBar(state);
}
#endif

#if defined(TAMSEL_BENCH_FLOORS)
// The cycle period with the active kernel's floor of the same width in
// its place for the run; the library's own kernel is put back after it.
template <bool kWithLog>
void CyclePeriodOnFloor(benchmark::State& state) {
  const tamsel::SpectrumTarget& library = tamsel::ActiveSpectrumTarget();
  const bool wide512 = std::strcmp(library.Name, "avx512") == 0;
  if (!wide512 && std::strcmp(library.Name, "avx2") != 0) {
    state.SkipWithError("the floors are built for the AVX2 and AVX-512 kernels only");
    return;
  }
  const tamsel::SpectrumTarget floor{
      library.Name,
      wide512 ? (kWithLog ? &tamsel::floor_avx512_libmvec::UpdateSpectrum : &tamsel::floor_avx512_nolog::UpdateSpectrum)
              : (kWithLog ? &tamsel::floor_avx2_libmvec::UpdateSpectrum : &tamsel::floor_avx2_nolog::UpdateSpectrum)};
  tamsel::UseSpectrumTarget(floor);
  Export<&TamselChart_CyclePeriod>(state);
  tamsel::UseSpectrumTarget(library);
}
#endif

// 49 logarithms per bar of arguments like the spectrum's (0.01 to 1),
// independent of each other as they are in the spectrum.
void FortyNineLogs(benchmark::State& state) {
  double arguments[49], logs[49];
  for (int i = 0; i < 49; ++i) arguments[i] = 0.01 + i * 0.02;
  for (auto _ : state) {
    for (int bar = 0; bar < gBars; ++bar) {
      for (int i = 0; i < 49; ++i) logs[i] = tamsel::math::Log(arguments[i]);
      benchmark::DoNotOptimize(logs);
      arguments[bar % 49] += 1e-9;
    }
  }
  PerBar(state);
}

// The same 49 logarithms over the active kernel's vectors, as the spectrum
// takes them.
void FortyNineVectorLogs(benchmark::State& state) {
  auto logOfEach = &tamsel::baseline::LogOfEach;
#if defined(TAMSEL_SIMD_DISPATCH)
  const std::string target = tamsel::ActiveSpectrumTarget().Name;
  if (target == "avx2") logOfEach = &tamsel::avx2::LogOfEach;
  if (target == "avx512") logOfEach = &tamsel::avx512::LogOfEach;
#endif
  double arguments[49], logs[49];
  for (int i = 0; i < 49; ++i) arguments[i] = 0.01 + i * 0.02;
  for (auto _ : state) {
    for (int bar = 0; bar < gBars; ++bar) {
      logOfEach(arguments, logs, 49);
      benchmark::DoNotOptimize(logs);
      arguments[bar % 49] += 1e-9;
    }
  }
  PerBar(state);
}

// Prints, after the usual table, each benchmark's cost per bar as a
// multiple of the 49 logarithms and its speed-up over the transcription:
// figures that compare across machines.
class SummaryReporter : public tamsel::bench::CounterFiguresReporter {
 public:
  SummaryReporter() : CounterFiguresReporter("ns_per_bar") {}
  void Finalize() override {
    ConsoleReporter::Finalize();
    double logs = 0, plain = 0, fourPlain = 0, all = 0, cycle = 0, libmvecFloor = 0, noLogFloor = 0;
    for (const auto& [name, ns] : Figures()) {
      if (name == "CyclePeriod") cycle = ns;
      if (name == "CyclePeriod/LibmvecLogFloor") libmvecFloor = ns;
      if (name == "CyclePeriod/NoLogFloor") noLogFloor = ns;
      if (name == "FortyNineLogs") logs = ns;
      if (name == "Straightforward/CyclePeriod") plain = ns;
      if (name.rfind("Straightforward/", 0) == 0) fourPlain += ns;
      if (name == "AllIndicators") all = ns;
    }
    std::printf("\n%-30s %12s %14s %16s\n", "per bar", "ns", "x 49 logs", "transcription /");
    for (const auto& [name, ns] : Figures())
      std::printf("%-30s %12.1f %14.2f %16.2f\n", name.c_str(), ns, logs > 0 ? ns / logs : 0.0,
                  plain > 0 ? plain / ns : 0.0);
    if (all > 0 && fourPlain > 0)
      std::printf("AllIndicators against the four transcribed calls (%.1f ns): %.2f times faster\n", fourPlain,
                  fourPlain / all);
    if (cycle > 0 && libmvecFloor > 0 && noLogFloor > 0)
      std::printf("CyclePeriod against the same kernel with libmvec's logarithm: %.2f, with none: %.2f\n",
                  cycle / libmvecFloor, cycle / noLogFloor);
  }
};

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--bars=", 7) == 0) {
      gBars = std::stoi(argv[i] + 7);
      for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      --i;
    }
  }
  std::printf("bars per series: %d, spectrum kernel: %s\n", gBars, tamsel::ActiveSpectrumTarget().Name);
  benchmark::RegisterBenchmark("FortyNineLogs", FortyNineLogs)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Straightforward/CyclePeriod", Export<&straightforward::CyclePeriod>)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("FortyNineVectorLogs", FortyNineVectorLogs)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Straightforward/SignalToNoiseRatio", Export<&straightforward::SignalToNoiseRatio>)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Straightforward/SwingPosition", Export<&straightforward::SwingPosition>)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Straightforward/TrendVigor", Export<&straightforward::TrendVigor>)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("CyclePeriod", Export<&TamselChart_CyclePeriod>)->Unit(benchmark::kMillisecond);
#if defined(TAMSEL_BENCH_FLOORS)
  benchmark::RegisterBenchmark("CyclePeriod/LibmvecLogFloor", CyclePeriodOnFloor<true>)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("CyclePeriod/NoLogFloor", CyclePeriodOnFloor<false>)->Unit(benchmark::kMillisecond);
#endif
  benchmark::RegisterBenchmark("SignalToNoiseRatio", Export<&TamselChart_SignalToNoiseRatio>)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("SwingPosition", Export<&TamselChart_SwingPosition>)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("TrendVigor", Export<&TamselChart_TrendVigor>)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("AllIndicators", AllIndicators)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("StreamPush", StreamPush)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("StreamPeek", StreamPeek)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("StreamSave", StreamSave)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("StreamLoad", StreamLoad)->Unit(benchmark::kMicrosecond);
#if defined(__x86_64__) || defined(__i386__)
  benchmark::RegisterBenchmark("StreamPush/DelphiHost", StreamPushFromDelphiHost)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("EnvironmentGuard", EnvironmentGuard)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("EnvironmentGuard/DelphiHost", EnvironmentGuardFromDelphiHost)
      ->Unit(benchmark::kMillisecond);
#endif
  benchmark::Initialize(&argc, argv);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
