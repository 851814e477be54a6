// SPDX-License-Identifier: MIT
#include "library_checks.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "TamselCharts.h"
#include "fuzz_series.h"
#include "output_digest.h"
#include "snapshot_digest.h"
#include "support/float_control_words.h"
#include "trapping_host.hpp"

namespace tamsel::fuzz {
namespace {

std::uint32_t Bits(float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

// Bit for bit, any NaN equal to any NaN: the library promises no particular
// NaN payload.
bool Same(float a, float b) { return Bits(a) == Bits(b) || (a != a && b != b); }

[[noreturn]] void Fail(const char* what, int bar, float got, float want) {
  std::fprintf(stderr, "tamsel fuzz check failed: %s at bar %d: got %a (0x%08x), expected %a (0x%08x)\n", what, bar + 1,
               static_cast<double>(got), Bits(got), static_cast<double>(want), Bits(want));
  std::abort();
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "tamsel fuzz check failed: %s\n", what);
  std::abort();
}

// An output buffer with guard zones on both sides, all filled with a
// signalling-NaN pattern that a float conversion never produces, so a write
// past either end and a bar left unwritten both show.
class GuardedOutput {
 public:
  explicit GuardedOutput(int count)
      : count_(count), storage_(std::make_unique<float[]>(static_cast<std::size_t>(count) + 2 * kGuard)) {
    for (int i = 0; i < count + 2 * kGuard; ++i) storage_[i] = Poison();
  }
  float* Data() { return storage_.get() + kGuard; }
  const float* Values() const { return storage_.get() + kGuard; }
  float operator[](int i) const { return storage_[kGuard + i]; }

  // Checks that exactly `written` values (0 or count) were stored.
  void Expect(const char* what, int written) const {
    for (int i = 0; i < count_ + 2 * kGuard; ++i) {
      const bool inside = i >= kGuard && i < kGuard + written;
      const bool poisoned = Bits(storage_[i]) == kPoisonBits;
      if (inside == poisoned) {
        std::fprintf(stderr, "tamsel fuzz check failed: %s %s slot %d (of %d bars)\n", what,
                     inside ? "left unwritten" : "wrote outside its bars at", i - kGuard, count_);
        std::abort();
      }
    }
  }

 private:
  static constexpr int kGuard = 16;
  static constexpr std::uint32_t kPoisonBits = 0x7fa0dead;
  static float Poison() {
    float f;
    std::memcpy(&f, &kPoisonBits, sizeof f);
    return f;
  }
  int count_;
  std::unique_ptr<float[]> storage_;
};

struct Outputs {
  explicit Outputs(int count) : cyclePeriod(count), signalToNoise(count), swingPosition(count), trendVigor(count) {}
  GuardedOutput cyclePeriod, signalToNoise, swingPosition, trendVigor;
};

void ExpectSameSeries(const char* what, const GuardedOutput& got, const GuardedOutput& want, int count) {
  for (int i = 0; i < count; ++i)
    if (!Same(got[i], want[i])) Fail(what, i, got[i], want[i]);
}

void ExpectSameValues(const char* what, const TamselChart_Values& got, const Outputs& want, int bar) {
  if (!Same(got.CyclePeriod, want.cyclePeriod[bar])) Fail(what, bar, got.CyclePeriod, want.cyclePeriod[bar]);
  if (!Same(got.SignalToNoiseRatio, want.signalToNoise[bar]))
    Fail(what, bar, got.SignalToNoiseRatio, want.signalToNoise[bar]);
  if (!Same(got.SwingPosition, want.swingPosition[bar])) Fail(what, bar, got.SwingPosition, want.swingPosition[bar]);
  if (!Same(got.TrendVigor, want.trendVigor[bar])) Fail(what, bar, got.TrendVigor, want.trendVigor[bar]);
}

// Calls with no bars or a NULL pointer return 0 and touch nothing.
void CheckRefusals(const float* high, const float* low) {
  const IndicatorExport exports[] = {TamselChart_CyclePeriod, TamselChart_SignalToNoiseRatio, TamselChart_SwingPosition,
                                     TamselChart_TrendVigor};
  for (IndicatorExport run : exports) {
    GuardedOutput out(1);
    if (run(high, low, 0, out.Data()) != 0 || run(high, low, -1, out.Data()) != 0 ||
        run(nullptr, low, 1, out.Data()) != 0 || run(high, nullptr, 1, out.Data()) != 0 ||
        run(high, low, 1, nullptr) != 0)
      Fail("a refused batch call returned non-zero");
    out.Expect("a refused batch call", 0);
  }
  TamselChart_Values values{};
  if (TamselChart_StreamPush(nullptr, high[0], low[0], &values) != 0 ||
      TamselChart_StreamPeek(nullptr, high[0], low[0], &values) != 0 || TamselChart_StreamClone(nullptr) != nullptr)
    Fail("a stream call without a stream did not refuse");
  TamselChart_StreamReset(nullptr);
  TamselChart_StreamDestroy(nullptr);
  Outputs out(1);
  if (TamselChart_AllIndicators(nullptr, low, 1, out.cyclePeriod.Data(), nullptr, nullptr, nullptr) != 0 ||
      TamselChart_AllIndicators(high, low, 0, out.cyclePeriod.Data(), nullptr, nullptr, nullptr) != 0)
    Fail("a refused all-in-one call returned non-zero");
  out.cyclePeriod.Expect("a refused all-in-one call", 0);
}

void CheckRanges(const Outputs& out, int count) {
  for (int i = 0; i < count; ++i) {
    const int bar = i + 1;
    const float cycle = out.cyclePeriod[i];
    if (bar <= 2 ? Bits(cycle) != 0 : bar <= 14 ? cycle != 18.0f : !(cycle >= 6.0f && cycle <= 30.0f))
      Fail("cycle period out of range", i, cycle, bar <= 2 ? 0.0f : 18.0f);
    const float snr = out.signalToNoise[i];
    if (!(snr == 1.0f || (snr >= 2.0f && snr <= 12.0f))) Fail("signal-to-noise ratio out of range", i, snr, 1.0f);
    if (bar <= 12 && snr != 1.0f) Fail("signal-to-noise ratio before the filter bank", i, snr, 1.0f);
    const float swing = out.swingPosition[i];
    if (!(swing != swing || (swing >= -5.0f && swing <= 5.0f))) Fail("swing position out of range", i, swing, 0.0f);
    const float vigor = out.trendVigor[i];
    if (!(vigor >= -10.0f && vigor <= 10.0f)) Fail("trend vigor out of range or NaN", i, vigor, 0.0f);
  }
}

#if defined(__i386__) || defined(__x86_64__)
// A host that unmasks every exception, rounds toward zero, flushes denormals
// to zero and runs the x87 at 24 bits: the all-in-one pass must neither trap
// nor change a bit, and must hand the host's control words back with no flag
// raised.  Only the call runs in that environment.
void CheckHostEnvironment(const float* high, const float* low, int count, const Outputs& want) {
  Outputs got(count);
  const FloatControlWords host = {0x0C40, 0x00, 0xE040};
  const FloatControlWords own = ReadFloatControlWords();
  InstallFloatControlWords(host);
  TamselChart_AllIndicators(high, low, count, got.cyclePeriod.Data(), got.signalToNoise.Data(),
                            got.swingPosition.Data(), got.trendVigor.Data());
  const FloatControlWords after = ReadFloatControlWords();
  InstallFloatControlWords(own);
  if (!SameFloatControlWords(after, host)) Fail("a call from a host environment left it changed");
  ExpectSameSeries("cycle period from a host environment", got.cyclePeriod, want.cyclePeriod, count);
  ExpectSameSeries("signal-to-noise ratio from a host environment", got.signalToNoise, want.signalToNoise, count);
  ExpectSameSeries("swing position from a host environment", got.swingPosition, want.swingPosition, count);
  ExpectSameSeries("trend vigor from a host environment", got.trendVigor, want.trendVigor, count);
}
#endif

// Bar by bar: a peek before each push sees what the push commits, and both
// equal the batch values of that prefix.
void CheckStream(const Bars& bars, const Outputs& batch) {
  const int count = bars.Count();
  TamselChart_Stream* stream = TamselChart_StreamCreate();
  if (stream == nullptr) Fail("StreamCreate returned NULL");
  TamselChart_Stream* clone = nullptr;
  int cloneStart = 0;
  for (int i = 0; i < count; ++i) {
    // A push or peek with nowhere to write commits nothing: the pushes
    // below still number the bars from 1 and match the batch values.
    if (i == 0 || i + 1 == bars.cloneAfter) {
      if (TamselChart_StreamPush(stream, bars.high[i], bars.low[i], nullptr) != 0 ||
          TamselChart_StreamPeek(stream, bars.high[i], bars.low[i], nullptr) != 0)
        Fail("a stream call without an output returned non-zero");
    }
    TamselChart_Values peeked{}, pushed{};
    if (TamselChart_StreamPeek(stream, bars.high[i], bars.low[i], &peeked) != i + 1)
      Fail("StreamPeek returned the wrong bar number");
    if (TamselChart_StreamPush(stream, bars.high[i], bars.low[i], &pushed) != i + 1)
      Fail("StreamPush returned the wrong bar number");
    ExpectSameValues("StreamPeek against the batch exports", peeked, batch, i);
    ExpectSameValues("StreamPush against the batch exports", pushed, batch, i);
    if (i + 1 == bars.cloneAfter) {
      clone = TamselChart_StreamClone(stream);
      if (clone == nullptr) Fail("StreamClone returned NULL");
      cloneStart = i + 1;
    }
  }
  if (clone != nullptr) {
    for (int i = cloneStart; i < count; ++i) {
      TamselChart_Values pushed{};
      if (TamselChart_StreamPush(clone, bars.high[i], bars.low[i], &pushed) != i + 1)
        Fail("a cloned stream returned the wrong bar number");
      ExpectSameValues("a cloned stream against the batch exports", pushed, batch, i);
    }
    TamselChart_StreamDestroy(clone);
  }
  // A reset stream starts over as a new one.
  TamselChart_StreamReset(stream);
  for (int i = 0; i < count && i < 20; ++i) {
    TamselChart_Values pushed{};
    if (TamselChart_StreamPush(stream, bars.high[i], bars.low[i], &pushed) != i + 1)
      Fail("a reset stream returned the wrong bar number");
    ExpectSameValues("a reset stream against the batch exports", pushed, batch, i);
  }
  TamselChart_StreamDestroy(stream);
}

// The series through the many-series call beside two copies of itself (one
// with some outputs NULL) and a shorter neighbour made of its prices
// reversed: each gets exactly the bits of its own all-in-one call, so the
// lanes a kernel packs them into share nothing, and each writes its own bars
// and no others.
void CheckManySeries(const float* high, const float* low, int count, const Outputs& want, int nullOutputs) {
  if (count < 1) return;
  const int neighbourCount = count / 2 + 1;
  auto neighbourHigh = std::make_unique<float[]>(static_cast<std::size_t>(neighbourCount));
  auto neighbourLow = std::make_unique<float[]>(static_cast<std::size_t>(neighbourCount));
  for (int i = 0; i < neighbourCount; ++i) neighbourHigh[i] = low[count - 1 - i], neighbourLow[i] = high[count - 1 - i];
  Outputs neighbourAlone(neighbourCount);
  TamselChart_AllIndicators(neighbourHigh.get(), neighbourLow.get(), neighbourCount, neighbourAlone.cyclePeriod.Data(),
                            neighbourAlone.signalToNoise.Data(), neighbourAlone.swingPosition.Data(),
                            neighbourAlone.trendVigor.Data());

  Outputs first(count), neighbour(neighbourCount), second(count);
  const auto entry = [](const float* h, const float* l, int n, Outputs& out, int skip) {
    GuardedOutput* outs[] = {&out.cyclePeriod, &out.signalToNoise, &out.swingPosition, &out.trendVigor};
    float* ptr[4];
    for (int k = 0; k < 4; ++k) ptr[k] = (skip >> k & 1) != 0 ? nullptr : outs[k]->Data();
    return TamselChart_SeriesIO{h, l, n, ptr[0], ptr[1], ptr[2], ptr[3]};
  };
  const TamselChart_SeriesIO io[] = {entry(high, low, count, first, 0),
                                     entry(neighbourHigh.get(), neighbourLow.get(), neighbourCount, neighbour, 0),
                                     entry(high, low, count, second, nullOutputs)};
  if (TamselChart_AllIndicatorsMany(3, io) != 3) Fail("TamselChart_AllIndicatorsMany's return value");

  const auto expect = [](const char* what, const Outputs& got, const Outputs& alone, int n, int skip) {
    const GuardedOutput* gots[] = {&got.cyclePeriod, &got.signalToNoise, &got.swingPosition, &got.trendVigor};
    const GuardedOutput* wants[] = {&alone.cyclePeriod, &alone.signalToNoise, &alone.swingPosition, &alone.trendVigor};
    for (int k = 0; k < 4; ++k) {
      const bool skipped = (skip >> k & 1) != 0;
      gots[k]->Expect(what, skipped ? 0 : n);
      if (!skipped) ExpectSameSeries(what, *gots[k], *wants[k], n);
    }
  };
  expect("many-series call, the series", first, want, count, 0);
  expect("many-series call, the reversed neighbour", neighbour, neighbourAlone, neighbourCount, 0);
  expect("many-series call, the copy with NULL outputs", second, want, count, nullOutputs);
}

// Nine members of a stream set push the input, a whole group of the widest
// engine and one more: some without a pause, some pausing now and then (so
// that they leave their lanes and come back), and each member's k-th bar
// must be the input's k-th bar alone.  Every third interval goes through the
// push with the policies, "nan" for every member, which takes each price as
// it is.
void CheckStreamSet(const float* high, const float* low, int count, const Outputs& want) {
  constexpr int kMembers = 9;
  TamselChart_StreamSet* set = TamselChart_StreamSetCreate(kMembers);
  if (set == nullptr) Fail("TamselChart_StreamSetCreate");
  if (TamselChart_StreamSetSetMissingPolicy(set, -1, TAMSELCHART_MISSING_NAN) != 1)
    Fail("TamselChart_StreamSetSetMissingPolicy");
  int next[kMembers] = {};
  double hd[kMembers], ld[kMembers];
  float h[kMembers], l[kMembers];
  unsigned char hasBar[kMembers];
  TamselChart_Values out[kMembers];
  const float* const wants[] = {want.cyclePeriod.Values(), want.signalToNoise.Values(), want.swingPosition.Values(),
                                want.trendVigor.Values()};
  for (int interval = 0;; ++interval) {
    int expected = 0;
    for (int m = 0; m < kMembers; ++m) {
      const bool pause = m % 3 == 1 && (interval * 31 + m * 17) % 23 == 0;
      hasBar[m] = next[m] < count && !pause ? 1 : 0;
      h[m] = hasBar[m] != 0 ? high[next[m]] : 0.0f;
      l[m] = hasBar[m] != 0 ? low[next[m]] : 0.0f;
      hd[m] = h[m];
      ld[m] = l[m];
      expected += hasBar[m];
    }
    if (expected == 0) break;
    if (interval % 3 == 2) {
      int member = 0;
      if (TamselChart_StreamSetPushPrices(set, hd, ld, hasBar, out, nullptr, &member) != expected || member != -1)
        Fail("TamselChart_StreamSetPushPrices's return value");
    } else if (TamselChart_StreamSetPush(set, h, l, hasBar, out) != expected) {
      Fail("TamselChart_StreamSetPush's return value");
    }
    for (int m = 0; m < kMembers; ++m) {
      if (hasBar[m] == 0) continue;
      const float got[] = {out[m].CyclePeriod, out[m].SignalToNoiseRatio, out[m].SwingPosition, out[m].TrendVigor};
      for (int k = 0; k < 4; ++k)
        if (!Same(got[k], wants[k][next[m]])) Fail("stream set member", next[m], got[k], wants[k][next[m]]);
      ++next[m];
    }
  }
  TamselChart_StreamSetDestroy(set);
}

// Saving and loading widen and narrow the remembered prices (NaNs among
// them), so they too are made from a trapping host.
// The stream exports called directly, for the snapshot digest.
const TamselStreamCalls kDirectStreamCalls = {
    nullptr,
    [](void*) -> void* { return TamselChart_StreamCreate(); },
    [](void*, void* stream, float high, float low, float values[4]) {
      TamselChart_Values out{};
      const int bar = TamselChart_StreamPush(static_cast<TamselChart_Stream*>(stream), high, low, &out);
      values[0] = out.CyclePeriod, values[1] = out.SignalToNoiseRatio, values[2] = out.SwingPosition,
      values[3] = out.TrendVigor;
      return bar;
    },
    [](void*, const void* stream, unsigned char* buffer, int capacity) {
      return FromTrappingHost("StreamSave", [&] {
        return TamselChart_StreamSave(static_cast<const TamselChart_Stream*>(stream), buffer, capacity);
      });
    },
    [](void*, const unsigned char* bytes, int size, int* reason) -> void* {
      return FromTrappingHost("StreamLoad", [&] { return TamselChart_StreamLoad(bytes, size, reason); });
    },
    [](void*, void* stream) { TamselChart_StreamDestroy(static_cast<TamselChart_Stream*>(stream)); },
};

std::uint64_t CheckSnapshots(const Bars& bars, const float* const batch[4]) {
  const TamselFuzzSeries series = {const_cast<float*>(bars.high.data()), const_cast<float*>(bars.low.data()),
                                   bars.Count(), bars.nullOutputs, bars.cloneAfter};
  std::uint64_t digest = 0;
  int bar = 0;
  if (const char* failure = TamselSnapshotDigest(&series, batch, &kDirectStreamCalls, &digest, &bar)) {
    std::fprintf(stderr, "tamsel fuzz check failed: %s (bar %d, snapshot after bar %d)\n", failure, bar,
                 bars.cloneAfter);
    std::abort();
  }
  return digest;
}

}  // namespace

Bars DecodeBars(const std::uint8_t* data, std::size_t size) {
  TamselFuzzSeries series;
  if (TamselDecodeFuzzSeries(data, size, &series) == 0) Fail("out of memory decoding an input");
  Bars bars;
  bars.high.assign(series.high, series.high + series.count);
  bars.low.assign(series.low, series.low + series.count);
  bars.nullOutputs = series.nullOutputs;
  bars.cloneAfter = series.cloneAfter;
  TamselFreeFuzzSeries(&series);
  return bars;
}

Digests CheckLibrary(const Bars& bars) {
  const int count = bars.Count();
  // Exactly sized copies: reading past the last bar is a heap overflow that
  // AddressSanitizer reports.  An empty series still passes real pointers.
  const std::size_t n = static_cast<std::size_t>(count > 0 ? count : 1);
  auto high = std::make_unique<float[]>(n);
  auto low = std::make_unique<float[]>(n);
  for (int i = 0; i < count; ++i) high[i] = bars.high[i], low[i] = bars.low[i];
  CheckRefusals(high.get(), low.get());

  const int expected = count > 0 ? count : 0;
  Outputs single(count);
  struct Export {
    const char* name;
    IndicatorExport run;
    GuardedOutput* out;
  };
  const Export exports[] = {{"TamselChart_CyclePeriod", TamselChart_CyclePeriod, &single.cyclePeriod},
                            {"TamselChart_SignalToNoiseRatio", TamselChart_SignalToNoiseRatio, &single.signalToNoise},
                            {"TamselChart_SwingPosition", TamselChart_SwingPosition, &single.swingPosition},
                            {"TamselChart_TrendVigor", TamselChart_TrendVigor, &single.trendVigor}};
  for (const Export& e : exports) {
    if (e.run(high.get(), low.get(), count, e.out->Data()) != expected) Fail("a batch export's return value");
    e.out->Expect(e.name, expected);
  }

  // The all-in-one pass, twice: each output equals its single export, and a
  // second call repeats the first.
  for (int round = 0; round < 2; ++round) {
    Outputs all(count);
    if (TamselChart_AllIndicators(high.get(), low.get(), count, all.cyclePeriod.Data(), all.signalToNoise.Data(),
                                  all.swingPosition.Data(), all.trendVigor.Data()) != expected)
      Fail("TamselChart_AllIndicators' return value");
    all.cyclePeriod.Expect("all-in-one cycle period", expected);
    all.signalToNoise.Expect("all-in-one signal-to-noise ratio", expected);
    all.swingPosition.Expect("all-in-one swing position", expected);
    all.trendVigor.Expect("all-in-one trend vigor", expected);
    ExpectSameSeries("all-in-one cycle period", all.cyclePeriod, single.cyclePeriod, count);
    ExpectSameSeries("all-in-one signal-to-noise ratio", all.signalToNoise, single.signalToNoise, count);
    ExpectSameSeries("all-in-one swing position", all.swingPosition, single.swingPosition, count);
    ExpectSameSeries("all-in-one trend vigor", all.trendVigor, single.trendVigor, count);
  }

  // Some outputs NULL: the others are unchanged.
  if (bars.nullOutputs != 0) {
    Outputs part(count);
    GuardedOutput* outs[] = {&part.cyclePeriod, &part.signalToNoise, &part.swingPosition, &part.trendVigor};
    float* ptr[4];
    for (int k = 0; k < 4; ++k) ptr[k] = (bars.nullOutputs >> k & 1) != 0 ? nullptr : outs[k]->Data();
    if (TamselChart_AllIndicators(high.get(), low.get(), count, ptr[0], ptr[1], ptr[2], ptr[3]) != expected)
      Fail("TamselChart_AllIndicators' return value with NULL outputs");
    const GuardedOutput* want[] = {&single.cyclePeriod, &single.signalToNoise, &single.swingPosition,
                                   &single.trendVigor};
    for (int k = 0; k < 4; ++k) {
      const bool skipped = ptr[k] == nullptr;
      outs[k]->Expect("all-in-one with NULL outputs", skipped ? 0 : expected);
      if (!skipped) ExpectSameSeries("all-in-one with NULL outputs", *outs[k], *want[k], count);
    }
  }

  CheckRanges(single, count);
  CheckStream(bars, single);
  CheckManySeries(high.get(), low.get(), count, single, bars.nullOutputs);
  CheckStreamSet(high.get(), low.get(), count, single);
#if defined(__i386__) || defined(__x86_64__)
  CheckHostEnvironment(high.get(), low.get(), count, single);
#endif

  const float* const outputs[] = {single.cyclePeriod.Values(), single.signalToNoise.Values(),
                                  single.swingPosition.Values(), single.trendVigor.Values()};
  return {TamselOutputDigest(outputs, count), CheckSnapshots(bars, outputs)};
}

}  // namespace tamsel::fuzz
