// SPDX-License-Identifier: MIT
// Many series at once: every series of a many-series batch, and every member
// of a stream set, has exactly the bits of its own single-series call or
// stream, however the series are packed together and whatever their
// neighbours hold; and the calls refuse what they document they refuse.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "TamselCharts.hpp"
#include "support/generated_series.hpp"
#include "support/golden_file.hpp"

namespace tamsel::testing {
namespace {

// A series' prices and the four outputs of its own TamselChart_AllIndicators
// call: what it must get however it is packed.
struct Reference {
  std::string name;
  std::vector<float> high, low;
  std::vector<float> outputs[4];
};

Reference Computed(std::string name, std::vector<float> high, std::vector<float> low) {
  Reference r{std::move(name), std::move(high), std::move(low), {}};
  const int n = static_cast<int>(r.high.size());
  for (auto& out : r.outputs) out.assign(r.high.size(), 0.0f);
  if (n > 0)
    TamselChart_AllIndicators(r.high.data(), r.low.data(), n, r.outputs[0].data(), r.outputs[1].data(),
                              r.outputs[2].data(), r.outputs[3].data());
  return r;
}

// The golden series (their single-call outputs checked against the frozen
// values first) and a few generated ones.
const std::vector<Reference>& Corpus() {
  static const std::vector<Reference> corpus = [] {
    std::vector<Reference> all;
    for (const GoldenSeries& g : ReadGoldenFile(TAMSEL_GOLDEN_FILE)) {
      Reference r = Computed(g.name, g.high, g.low);
      for (std::size_t i = 0; i < g.high.size(); ++i)
        if (!SameFloat(r.outputs[0][i], g.cyclePeriod[i]) || !SameFloat(r.outputs[3][i], g.trendVigor[i]))
          ADD_FAILURE() << g.name << ": the single call no longer gives the golden values at bar " << i + 1;
      all.push_back(std::move(r));
    }
    for (std::uint64_t seed = 1; seed <= 3; ++seed) {
      const Series s = RandomWalk("walk_seed_" + std::to_string(seed), seed, 257 + 100 * static_cast<int>(seed),
                                  10.0 * static_cast<double>(seed));
      all.push_back(Computed(s.name, s.high, s.low));
    }
    return all;
  }();
  return corpus;
}

// Series whose values must not leak into a neighbour's.
std::vector<Reference> Poisons() {
  const float inf = std::numeric_limits<float>::infinity();
  const auto constant = [](std::string name, int n, float high, float low) {
    return Computed(std::move(name), std::vector<float>(n, high), std::vector<float>(n, low));
  };
  std::vector<Reference> poisons;
  poisons.push_back(constant("all_nan", 333, std::nanf(""), std::nanf("")));
  poisons.push_back(constant("all_plus_inf", 333, inf, inf));
  poisons.push_back(constant("all_minus_inf", 333, -inf, -inf));
  poisons.push_back(constant("all_zeros", 333, 0.0f, 0.0f));
  poisons.push_back(constant("huge", 333, 3.4e38f, -3.4e38f));
  poisons.push_back(constant("denormal", 333, 1e-42f, 1e-44f));
  std::vector<float> mixed(500);
  for (std::size_t i = 0; i < mixed.size(); ++i)
    mixed[i] = i % 7 == 3 ? std::nanf("") : i % 11 == 5 ? -inf : static_cast<float>(i % 13) * 1e30f;
  poisons.push_back(Computed("mixed", mixed, std::vector<float>(mixed.rbegin(), mixed.rend())));
  return poisons;
}

// Where one packed series' outputs go: filled with a marker first, so that
// a value never written shows.
struct Outputs {
  std::vector<float> values[4];
  explicit Outputs(std::size_t n) {
    for (auto& v : values) v.assign(n, kUnwritten);
  }
  static constexpr float kUnwritten = -12345.0f;
};

TamselChart_SeriesIO Entry(const Reference& r, Outputs& out) {
  return {r.high.data(),        r.low.data(),         static_cast<int>(r.high.size()),
          out.values[0].data(), out.values[1].data(), out.values[2].data(),
          out.values[3].data()};
}

::testing::AssertionResult SameAsAlone(const Reference& r, const Outputs& got) {
  for (int k = 0; k < 4; ++k)
    for (std::size_t i = 0; i < r.high.size(); ++i)
      if (!SameFloat(r.outputs[k][i], got.values[k][i]))
        return ::testing::AssertionFailure() << r.name << " output " << k << " bar " << i + 1 << ": alone "
                                             << r.outputs[k][i] << ", packed " << got.values[k][i];
  return ::testing::AssertionSuccess();
}

// Packs the series in the order given into one call and checks each
// against its own call.
::testing::AssertionResult PackedAsAlone(const std::vector<const Reference*>& packed) {
  std::vector<Outputs> outputs;
  outputs.reserve(packed.size());
  std::vector<TamselChart_SeriesIO> io;
  for (const Reference* r : packed) {
    outputs.emplace_back(r->high.size());
    io.push_back(Entry(*r, outputs.back()));
  }
  const int computed = TamselChart_AllIndicatorsMany(static_cast<int>(io.size()), io.data());
  if (computed != static_cast<int>(io.size()))
    return ::testing::AssertionFailure() << computed << " of " << io.size() << " series computed";
  for (std::size_t s = 0; s < packed.size(); ++s) {
    ::testing::AssertionResult same = SameAsAlone(*packed[s], outputs[s]);
    if (!same) return same << " (series " << s << " of " << packed.size() << ")";
  }
  return ::testing::AssertionSuccess();
}

TEST(MultiSeries, EverySeriesAloneAndWithCopiesOfItself) {
  for (const Reference& r : Corpus()) {
    EXPECT_TRUE(PackedAsAlone({&r}));
    // More copies than any kernel has lanes, and an odd number.
    EXPECT_TRUE(PackedAsAlone(std::vector<const Reference*>(19, &r)));
  }
}

TEST(MultiSeries, EveryPoisonAsNeighbourOnEitherSide) {
  const std::vector<Reference> poisons = Poisons();
  for (const Reference& r : Corpus())
    for (const Reference& poison : poisons) {
      EXPECT_TRUE(PackedAsAlone({&poison, &r}));
      EXPECT_TRUE(PackedAsAlone({&r, &poison, &poison, &r, &poison}));
    }
}

TEST(MultiSeries, EveryLengthAndStartTogetherInOneCall) {
  // The whole corpus in one call (series of 1 to 3,000 bars side by side),
  // in order and reversed, then each golden series' later parts: a series
  // starting at bar k of the same prices is a series of its own.
  std::vector<const Reference*> all;
  for (const Reference& r : Corpus()) all.push_back(&r);
  EXPECT_TRUE(PackedAsAlone(all));
  EXPECT_TRUE(PackedAsAlone(std::vector<const Reference*>(all.rbegin(), all.rend())));

  std::vector<Reference> suffixes;
  for (const Reference& r : Corpus())
    for (std::size_t start : {1u, 13u, 51u, 299u})
      if (start < r.high.size())
        suffixes.push_back(Computed(r.name + " from bar " + std::to_string(start + 1),
                                    std::vector<float>(r.high.begin() + static_cast<long>(start), r.high.end()),
                                    std::vector<float>(r.low.begin() + static_cast<long>(start), r.low.end())));
  std::vector<const Reference*> mixed;
  for (std::size_t i = 0; i < suffixes.size(); ++i) {
    mixed.push_back(&suffixes[i]);
    mixed.push_back(&Corpus()[i % Corpus().size()]);
  }
  EXPECT_TRUE(PackedAsAlone(mixed));
}

TEST(MultiSeries, FewerSeriesThanLanes) {
  const Reference& walk = Corpus().back();
  const Reference& shortest = Corpus()[0];
  for (int n = 1; n <= 3; ++n) EXPECT_TRUE(PackedAsAlone(std::vector<const Reference*>(n, &walk)));
  EXPECT_TRUE(PackedAsAlone({&shortest, &walk, &shortest}));
}

TEST(MultiSeries, SkippedSeriesKeepTheirOutputsAndDoNotCount) {
  const Reference& walk = Corpus().back();
  Outputs computed(walk.high.size()), empty(walk.high.size()), noHigh(walk.high.size()), noLow(walk.high.size()),
      negative(walk.high.size()), selfOverlap(walk.high.size()), last(walk.high.size());
  TamselChart_SeriesIO io[] = {Entry(walk, computed), Entry(walk, empty),       Entry(walk, noHigh), Entry(walk, noLow),
                               Entry(walk, negative), Entry(walk, selfOverlap), Entry(walk, last)};
  io[1].count = 0;
  io[2].high = nullptr;
  io[3].low = nullptr;
  io[4].count = -5;
  // Two outputs of one series sharing all but their first values: refused
  // by the single call, so this series alone is skipped.
  io[5].signalToNoiseRatio = io[5].cyclePeriod + 1;
  io[5].count = static_cast<int>(walk.high.size()) - 1;
  ASSERT_EQ(TamselChart_AllIndicatorsMany(7, io), 2);
  EXPECT_TRUE(SameAsAlone(walk, computed));
  EXPECT_TRUE(SameAsAlone(walk, last));
  for (const Outputs* untouched : {&empty, &noHigh, &noLow, &negative, &selfOverlap})
    for (const auto& values : untouched->values)
      for (float v : values) ASSERT_EQ(v, Outputs::kUnwritten);
}

TEST(MultiSeries, NullOutputsAreSkippedPerSeries) {
  const Reference& walk = Corpus().back();
  for (int skipped = 0; skipped < 4; ++skipped) {
    Outputs a(walk.high.size()), b(walk.high.size());
    TamselChart_SeriesIO io[] = {Entry(walk, a), Entry(walk, b)};
    float* TamselChart_SeriesIO::*outputs[] = {&TamselChart_SeriesIO::cyclePeriod,
                                               &TamselChart_SeriesIO::signalToNoiseRatio,
                                               &TamselChart_SeriesIO::swingPosition, &TamselChart_SeriesIO::trendVigor};
    io[0].*outputs[skipped] = nullptr;
    ASSERT_EQ(TamselChart_AllIndicatorsMany(2, io), 2);
    EXPECT_TRUE(SameAsAlone(walk, b));
    for (int k = 0; k < 4; ++k)
      for (std::size_t i = 0; i < walk.high.size(); ++i) {
        if (k == skipped)
          ASSERT_EQ(a.values[k][i], Outputs::kUnwritten);
        else
          ASSERT_TRUE(SameFloat(a.values[k][i], walk.outputs[k][i]));
      }
  }
}

TEST(MultiSeries, BadArgumentsComputeNothing) {
  const Reference& walk = Corpus().back();
  Outputs out(walk.high.size());
  TamselChart_SeriesIO io = Entry(walk, out);
  EXPECT_EQ(TamselChart_AllIndicatorsMany(1, nullptr), 0);
  EXPECT_EQ(TamselChart_AllIndicatorsMany(0, &io), 0);
  EXPECT_EQ(TamselChart_AllIndicatorsMany(-1, &io), 0);
  EXPECT_EQ(TamselChart_AllIndicatorsMany(INT32_MIN, &io), 0);
  for (const auto& values : out.values)
    for (float v : values) ASSERT_EQ(v, Outputs::kUnwritten);
}

// Prices in one buffer that several series read and some write, to try the
// aliasing rule across series.
struct SharedBuffer {
  static constexpr int kBars = 300;
  std::vector<float> floats = std::vector<float>(20 * kBars, Outputs::kUnwritten);
  float* At(int slot) { return floats.data() + slot * kBars; }
  SharedBuffer() {
    const Series walk = RandomWalk("shared", 77, kBars, 50.0);
    std::copy(walk.high.begin(), walk.high.end(), At(0));
    std::copy(walk.low.begin(), walk.low.end(), At(1));
  }
  TamselChart_SeriesIO Reading(float* out0, float* out1, float* out2, float* out3) {
    return {At(0), At(1), kBars, out0, out1, out2, out3};
  }
};

TEST(MultiSeries, SharedPricesAndInPlaceOutputsAreAllowed) {
  SharedBuffer buffer;
  const Reference alone = Computed("shared", std::vector<float>(buffer.At(0), buffer.At(1)),
                                   std::vector<float>(buffer.At(1), buffer.At(2)));
  // Three series read the same prices; a fourth, on its own copy, writes its
  // trend vigor over its own high.
  std::copy(buffer.At(0), buffer.At(2), buffer.At(16));
  TamselChart_SeriesIO io[] = {
      buffer.Reading(buffer.At(2), buffer.At(3), buffer.At(4), buffer.At(5)),
      buffer.Reading(buffer.At(6), nullptr, nullptr, buffer.At(7)),
      buffer.Reading(nullptr, buffer.At(8), buffer.At(9), nullptr),
      {buffer.At(16), buffer.At(17), SharedBuffer::kBars, buffer.At(10), buffer.At(11), buffer.At(12), buffer.At(16)}};
  ASSERT_EQ(TamselChart_AllIndicatorsMany(4, io), 4);
  const auto same = [&](int slot, int output) {
    for (int i = 0; i < SharedBuffer::kBars; ++i)
      if (!SameFloat(buffer.At(slot)[i], alone.outputs[output][static_cast<std::size_t>(i)])) return false;
    return true;
  };
  EXPECT_TRUE(same(2, 0) && same(3, 1) && same(4, 2) && same(5, 3));
  EXPECT_TRUE(same(6, 0) && same(7, 3) && same(8, 1) && same(9, 2));
  EXPECT_TRUE(same(10, 0) && same(11, 1) && same(12, 2) && same(16, 3));
}

TEST(MultiSeries, AnOutputOverlappingAnotherSeriesRefusesTheWholeCall) {
  constexpr int kBars = SharedBuffer::kBars;
  // The first series reads slots 0 and 1 and writes slots 2 to 5; the
  // second reads slots 14 and 15 and writes one output, then changes one
  // array as the case says (offsets in floats from slot 0).
  struct Case {
    const char* what;
    int offset;
    bool asInput;  // the changed array is the second series' high instead
  };
  const Case cases[] = {
      {"an output over the first series' high", 0, false},
      {"an output over the last float of the first series' low", 2 * kBars - 1, false},
      {"an output over the first series' cycle period, shifted by one", 2 * kBars + 1, false},
      {"an output exactly the first series' trend vigor", 5 * kBars, false},
      {"an output over the last float of the first series' trend vigor", 6 * kBars - 1, false},
      {"prices exactly the first series' swing position", 4 * kBars, true},
      {"prices over the last float of the first series' signal-to-noise ratio", 4 * kBars - 1, true},
  };
  for (const Case& c : cases) {
    SharedBuffer buffer;
    const std::vector<float> before = buffer.floats;
    TamselChart_SeriesIO io[] = {buffer.Reading(buffer.At(2), buffer.At(3), buffer.At(4), buffer.At(5)),
                                 {buffer.At(14), buffer.At(15), kBars, buffer.At(18), nullptr, nullptr, nullptr}};
    if (c.asInput)
      io[1].high = buffer.floats.data() + c.offset;
    else
      io[1].cyclePeriod = buffer.floats.data() + c.offset;
    EXPECT_EQ(TamselChart_AllIndicatorsMany(2, io), 0) << c.what;
    EXPECT_EQ(std::memcmp(before.data(), buffer.floats.data(), before.size() * sizeof(float)), 0)
        << c.what << ": written although refused";
    // Either order of the two series is refused alike.
    std::swap(io[0], io[1]);
    EXPECT_EQ(TamselChart_AllIndicatorsMany(2, io), 0) << c.what << " (series swapped)";
  }
  // Side by side but not overlapping: each output begins at the float after
  // another series' array ends.
  SharedBuffer buffer;
  TamselChart_SeriesIO io[] = {buffer.Reading(buffer.At(2), nullptr, nullptr, nullptr),
                               buffer.Reading(buffer.At(3), nullptr, nullptr, nullptr),
                               {buffer.At(3), buffer.At(3), kBars, nullptr, nullptr, nullptr, nullptr}};
  EXPECT_EQ(TamselChart_AllIndicatorsMany(2, io), 2);
  // ... but a third series reading what the second writes is refused.
  EXPECT_EQ(TamselChart_AllIndicatorsMany(3, io), 0);
}

// ---- the stream set ----------------------------------------------------------

bool Same(const TamselChart_Values& a, const TamselChart_Values& b) {
  return SameFloat(a.CyclePeriod, b.CyclePeriod) && SameFloat(a.SignalToNoiseRatio, b.SignalToNoiseRatio) &&
         SameFloat(a.SwingPosition, b.SwingPosition) && SameFloat(a.TrendVigor, b.TrendVigor);
}

using Bytes = std::vector<unsigned char>;

Bytes SaveMember(const TamselChart_StreamSet* set, int member) {
  Bytes bytes(static_cast<std::size_t>(TamselChart_StreamSetSave(set, member, nullptr, 0)));
  EXPECT_EQ(TamselChart_StreamSetSave(set, member, bytes.data(), static_cast<int>(bytes.size())),
            static_cast<int>(bytes.size()));
  return bytes;
}

Bytes SaveStream(const TamselChart_Stream* stream) {
  Bytes bytes(static_cast<std::size_t>(TamselChart_StreamSave(stream, nullptr, 0)));
  TamselChart_StreamSave(stream, bytes.data(), static_cast<int>(bytes.size()));
  return bytes;
}

// Members 0..n-1 take series from the corpus and the poisons in turn; each
// interval a member has a bar with the given chance (and only while its
// series lasts), and every member is checked against a stream of its own.
// Every few intervals one member's snapshot is compared with its stream's,
// and another member is loaded from its stream's snapshot: a member moves
// between its own stream and the lanes it shares, and neither move may
// change a bit of its values or of its bytes.
void CheckSetAgainstStreams(int members, int chancePercent, std::uint64_t seed) {
  static const std::vector<Reference> poisons = Poisons();
  std::vector<const Reference*> series;
  series.reserve(static_cast<std::size_t>(members));
  for (int m = 0; m < members; ++m)
    series.push_back(m % 5 == 4 ? &poisons[static_cast<std::size_t>(m / 5) % poisons.size()]
                                : &Corpus()[(static_cast<std::size_t>(m) * 7) % Corpus().size()]);
  TamselChart_StreamSet* set = TamselChart_StreamSetCreate(members);
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(TamselChart_StreamSetMemberCount(set), members);
  std::vector<TamselChart_Stream*> streams;
  streams.reserve(static_cast<std::size_t>(members));
  for (int m = 0; m < members; ++m) streams.push_back(TamselChart_StreamCreate());
  std::vector<std::size_t> next(members, 0);
  std::vector<float> high(members), low(members);
  std::vector<unsigned char> hasBar(members);
  const TamselChart_Values marker{-1.0f, -2.0f, -3.0f, -4.0f};
  std::vector<TamselChart_Values> out(members);
  Random random(seed);
  for (int interval = 0; interval < 900; ++interval) {
    int expected = 0;
    for (int m = 0; m < members; ++m) {
      const Reference& r = *series[m];
      const bool bar = next[m] < r.high.size() && static_cast<int>(random.NextBits() % 100) < chancePercent;
      hasBar[m] = bar ? 1 : 0;
      // Prices of a member without a bar must not be read: a NaN there
      // would freeze its spectrum.
      high[m] = bar ? r.high[next[m]] : std::nanf("");
      low[m] = bar ? r.low[next[m]] : std::nanf("");
      out[m] = marker;
      expected += bar ? 1 : 0;
    }
    const bool everyMember = expected == members && interval % 2 == 0;
    ASSERT_EQ(
        TamselChart_StreamSetPush(set, high.data(), low.data(), everyMember ? nullptr : hasBar.data(), out.data()),
        expected);
    for (int m = 0; m < members; ++m) {
      if (hasBar[m] == 0) {
        ASSERT_TRUE(Same(out[m], marker)) << "member " << m << " written without a bar";
        continue;
      }
      TamselChart_Values own{};
      TamselChart_StreamPush(streams[m], high[m], low[m], &own);
      ASSERT_TRUE(Same(out[m], own)) << series[m]->name << " as member " << m << ", bar " << next[m] + 1;
      ++next[m];
    }
    const int saved = (interval * 7) % members;
    if (interval % 23 == 5) {
      ASSERT_EQ(SaveMember(set, saved), SaveStream(streams[saved])) << "member " << saved << ", interval " << interval;
    }
    const int loaded = (interval * 3 + 1) % members;
    if (interval % 61 == 37) {
      const Bytes bytes = SaveStream(streams[loaded]);
      ASSERT_EQ(TamselChart_StreamSetLoad(set, loaded, bytes.data(), static_cast<int>(bytes.size()), nullptr), 1);
    }
  }
  for (int m = 0; m < members; ++m) TamselChart_StreamDestroy(streams[m]);
  TamselChart_StreamSetDestroy(set);
}

TEST(MultiSeriesStreamSet, MembersEqualTheirOwnStreamsBarByBar) {
  CheckSetAgainstStreams(1, 100, 1);
  CheckSetAgainstStreams(3, 70, 2);
  CheckSetAgainstStreams(37, 90, 3);
  CheckSetAgainstStreams(70, 30, 4);
  // Long runs of bars, in lanes and out of them as series end.
  CheckSetAgainstStreams(40, 100, 5);
  CheckSetAgainstStreams(24, 97, 6);
  // Fewer members than the widest engine's lanes: a narrower engine's group.
  CheckSetAgainstStreams(6, 98, 7);
}

TEST(MultiSeriesStreamSet, BadArgumentsCommitNothing) {
  EXPECT_EQ(TamselChart_StreamSetCreate(0), nullptr);
  EXPECT_EQ(TamselChart_StreamSetCreate(-3), nullptr);
  EXPECT_EQ(TamselChart_StreamSetMemberCount(nullptr), 0);
  TamselChart_StreamSetDestroy(nullptr);
  TamselChart_StreamSet* set = TamselChart_StreamSetCreate(2);
  const float prices[2] = {100.0f, 99.0f};
  TamselChart_Values out[2];
  EXPECT_EQ(TamselChart_StreamSetPush(nullptr, prices, prices, nullptr, out), 0);
  EXPECT_EQ(TamselChart_StreamSetPush(set, nullptr, prices, nullptr, out), 0);
  EXPECT_EQ(TamselChart_StreamSetPush(set, prices, nullptr, nullptr, out), 0);
  EXPECT_EQ(TamselChart_StreamSetPush(set, prices, prices, nullptr, nullptr), 0);
  // Still at bar 1: the saved members are fresh streams.
  TamselChart_Stream* fresh = TamselChart_StreamCreate();
  std::vector<unsigned char> a(TAMSELCHART_SNAPSHOT_MAX_BYTES), b(TAMSELCHART_SNAPSHOT_MAX_BYTES);
  const int size = TamselChart_StreamSave(fresh, a.data(), static_cast<int>(a.size()));
  EXPECT_EQ(TamselChart_StreamSetSave(set, 1, b.data(), static_cast<int>(b.size())), size);
  EXPECT_EQ(a, b);
  EXPECT_EQ(TamselChart_StreamSetSave(set, 2, b.data(), static_cast<int>(b.size())), 0);
  EXPECT_EQ(TamselChart_StreamSetSave(set, -1, b.data(), static_cast<int>(b.size())), 0);
  EXPECT_EQ(TamselChart_StreamSetSave(nullptr, 0, b.data(), static_cast<int>(b.size())), 0);
  int reason = 99;
  EXPECT_EQ(TamselChart_StreamSetLoad(set, 2, a.data(), size, &reason), -1);
  EXPECT_EQ(TamselChart_StreamSetLoad(nullptr, 0, a.data(), size, &reason), -1);
  EXPECT_EQ(reason, 99);
  TamselChart_StreamDestroy(fresh);
  TamselChart_StreamSetDestroy(set);
}

bool SameProblem(const TamselChart_PriceProblem& a, const TamselChart_PriceProblem& b) {
  return a.kind == b.kind && a.bar == b.bar && a.column == b.column &&
         std::memcmp(&a.price, &b.price, sizeof a.price) == 0;
}

// A push with the policies takes each member's prices as that member's own
// stream would (every policy, prices a float cannot hold, members in lanes
// and alone), and a refusal by any member commits nothing at all: the
// refusing member and its problem are those its own stream reports, no out
// entry is written and no member's bytes change.
TEST(MultiSeriesStreamSet, PushPricesTakesEachMembersPolicyAllOrNothing) {
  constexpr int kMembers = 21;
  const int policies[] = {TAMSELCHART_MISSING_PREVIOUS, TAMSELCHART_MISSING_NAN, TAMSELCHART_MISSING_ERROR};
  TamselChart_StreamSet* set = TamselChart_StreamSetCreate(kMembers);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(TamselChart_StreamSetSetMissingPolicy(set, -1, TAMSELCHART_MISSING_NAN), 1);
  std::vector<TamselChart_Stream*> streams;
  for (int m = 0; m < kMembers; ++m) {
    const int policy = policies[m % 3];
    if (policy != TAMSELCHART_MISSING_NAN) {
      EXPECT_EQ(TamselChart_StreamSetSetMissingPolicy(set, m, policy), 1);
    }
    EXPECT_EQ(TamselChart_StreamSetMemberMissingPolicy(set, m), policy);
    streams.push_back(TamselChart_StreamCreate());
    TamselChart_StreamSetMissingPolicy(streams.back(), policy);
  }
  const std::vector<Reference>& corpus = Corpus();
  const double specials[] = {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300, -1e39};
  const TamselChart_Values marker{-1.0f, -2.0f, -3.0f, -4.0f};
  std::vector<double> high(kMembers), low(kMembers);
  std::vector<unsigned char> hasBar(kMembers);
  std::vector<TamselChart_Values> out(kMembers);
  Random random(41);
  int refusals = 0;
  for (int interval = 0; interval < 700; ++interval) {
    for (int m = 0; m < kMembers; ++m) {
      const Reference& r = corpus[static_cast<std::size_t>(m) % corpus.size()];
      const std::size_t at = static_cast<std::size_t>(interval) % r.high.size();
      const std::uint64_t draw = random.NextBits() % 1000;
      hasBar[m] = draw < 970 ? 1 : 0;
      high[m] = draw < 6 ? specials[draw % 5] : r.high[at];
      low[m] = draw >= 6 && draw < 12 ? specials[draw % 5] : r.low[at];
      out[m] = marker;
    }
    // Refused members are left without a bar until the interval is taken.
    for (;;) {
      int expectedMember = -1;
      TamselChart_PriceProblem expectedProblem{};
      for (int m = 0; m < kMembers && expectedMember < 0; ++m) {
        TamselChart_Values peeked{};
        if (hasBar[m] != 0 && TamselChart_StreamPeekPrices(streams[m], high[m], low[m], &peeked, &expectedProblem) == 0)
          expectedMember = m;
      }
      std::vector<Bytes> before;
      if (expectedMember >= 0 && refusals < 12)
        for (int m = 0; m < kMembers; ++m) before.push_back(SaveMember(set, m));
      TamselChart_PriceProblem problem{99, 99, 99, 99.0};
      int member = 99;
      const int pushed =
          TamselChart_StreamSetPushPrices(set, high.data(), low.data(), hasBar.data(), out.data(), &problem, &member);
      if (expectedMember < 0) {
        ASSERT_GE(pushed, 0) << "interval " << interval;
        EXPECT_EQ(member, -1);
        EXPECT_EQ(problem.kind, TAMSELCHART_PRICE_OK);
        break;
      }
      ASSERT_EQ(pushed, -1) << "interval " << interval;
      ASSERT_EQ(member, expectedMember) << "interval " << interval;
      EXPECT_TRUE(SameProblem(problem, expectedProblem)) << "interval " << interval << ", member " << member;
      for (int m = 0; m < kMembers; ++m) ASSERT_TRUE(Same(out[m], marker)) << "member " << m << " written";
      for (std::size_t m = 0; m < before.size(); ++m)
        ASSERT_EQ(SaveMember(set, static_cast<int>(m)), before[m]) << "member " << m << " changed by a refusal";
      ++refusals;
      hasBar[member] = 0;
    }
    for (int m = 0; m < kMembers; ++m) {
      if (hasBar[m] == 0) continue;
      TamselChart_Values own{};
      ASSERT_NE(TamselChart_StreamPushPrices(streams[m], high[m], low[m], &own, nullptr), 0);
      ASSERT_TRUE(Same(out[m], own)) << "member " << m << ", interval " << interval;
    }
  }
  EXPECT_GT(refusals, 50);
  for (int m = 0; m < kMembers; ++m) {
    EXPECT_EQ(SaveMember(set, m), SaveStream(streams[m])) << "member " << m;
    TamselChart_StreamDestroy(streams[m]);
  }
  // Arguments: nothing committed, nothing written.
  TamselChart_PriceProblem untouched{7, 7, 7, 7.0};
  int who = 7;
  EXPECT_EQ(TamselChart_StreamSetPushPrices(nullptr, high.data(), low.data(), nullptr, out.data(), &untouched, &who),
            0);
  EXPECT_EQ(TamselChart_StreamSetPushPrices(set, nullptr, low.data(), nullptr, out.data(), &untouched, &who), 0);
  EXPECT_EQ(TamselChart_StreamSetPushPrices(set, high.data(), nullptr, nullptr, out.data(), &untouched, &who), 0);
  EXPECT_EQ(TamselChart_StreamSetPushPrices(set, high.data(), low.data(), nullptr, nullptr, &untouched, &who), 0);
  EXPECT_EQ(untouched.kind, 7);
  EXPECT_EQ(who, 7);
  EXPECT_EQ(TamselChart_StreamSetSetMissingPolicy(set, kMembers, TAMSELCHART_MISSING_NAN), 0);
  EXPECT_EQ(TamselChart_StreamSetSetMissingPolicy(set, -2, TAMSELCHART_MISSING_NAN), 0);
  EXPECT_EQ(TamselChart_StreamSetSetMissingPolicy(set, 0, 3), 0);
  EXPECT_EQ(TamselChart_StreamSetSetMissingPolicy(nullptr, -1, TAMSELCHART_MISSING_NAN), 0);
  EXPECT_EQ(TamselChart_StreamSetMemberMissingPolicy(set, 0), TAMSELCHART_MISSING_PREVIOUS);
  EXPECT_EQ(TamselChart_StreamSetMemberMissingPolicy(set, kMembers), TAMSELCHART_MISSING_ERROR);
  EXPECT_EQ(TamselChart_StreamSetMemberMissingPolicy(nullptr, 0), TAMSELCHART_MISSING_ERROR);
  TamselChart_StreamSetDestroy(set);
}

TEST(MultiSeriesStreamSet, AMemberSavesAndLoadsAsAStream) {
  const Reference& walk = Corpus().back();
  const std::vector<Reference> poisons = Poisons();
  const Reference& nan = poisons[0];
  TamselChart_StreamSet* set = TamselChart_StreamSetCreate(2);
  TamselChart_Stream* stream = TamselChart_StreamCreate();
  TamselChart_StreamSetMissingPolicy(stream, TAMSELCHART_MISSING_PREVIOUS);
  TamselChart_Values out[2], own{};
  const std::size_t half = walk.high.size() / 2;
  for (std::size_t i = 0; i < half; ++i) {
    const float high[2] = {nan.high[0], walk.high[i]};
    const float low[2] = {nan.low[0], walk.low[i]};
    ASSERT_EQ(TamselChart_StreamSetPush(set, high, low, nullptr, out), 2);
    TamselChart_StreamPush(stream, walk.high[i], walk.low[i], &own);
    // The policy differs, so the bytes would too: compare at a few bars
    // with the policy set alike on a copy of the stream.
    if (i % 97 == 0) {
      TamselChart_Stream* same = TamselChart_StreamClone(stream);
      TamselChart_StreamSetMissingPolicy(same, TAMSELCHART_MISSING_ERROR);
      EXPECT_EQ(SaveMember(set, 1), SaveStream(same)) << "bar " << i + 1;
      TamselChart_StreamDestroy(same);
    }
  }
  // The stream's snapshot (with its own policy) into member 0, over the
  // NaN-frozen one: from here member 0 goes on as the stream, member 1 as
  // before.
  const Bytes saved = SaveStream(stream);
  int reason = -1;
  ASSERT_EQ(TamselChart_StreamSetLoad(set, 0, saved.data(), static_cast<int>(saved.size()), &reason), 1);
  EXPECT_EQ(reason, TAMSELCHART_SNAPSHOT_OK);
  EXPECT_EQ(SaveMember(set, 0), saved);
  for (std::size_t i = half; i < walk.high.size(); ++i) {
    const float high[2] = {walk.high[i], walk.high[i]};
    const float low[2] = {walk.low[i], walk.low[i]};
    ASSERT_EQ(TamselChart_StreamSetPush(set, high, low, nullptr, out), 2);
    for (const TamselChart_Values& v : out)
      ASSERT_TRUE(Same(v, {walk.outputs[0][i], walk.outputs[1][i], walk.outputs[2][i], walk.outputs[3][i]}))
          << "bar " << i + 1;
  }
  // A saved member loads as a stream, policy included.
  const Bytes member = SaveMember(set, 0);
  TamselChart_Stream* loaded = TamselChart_StreamLoad(member.data(), static_cast<int>(member.size()), &reason);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(TamselChart_StreamMissingPolicy(loaded), TAMSELCHART_MISSING_PREVIOUS);
  TamselChart_StreamDestroy(loaded);
  TamselChart_StreamDestroy(stream);
  TamselChart_StreamSetDestroy(set);
}

TEST(MultiSeriesStreamSet, RefusedBytesLeaveTheMemberAsItWas) {
  const Reference& walk = Corpus().back();
  TamselChart_StreamSet* set = TamselChart_StreamSetCreate(1);
  TamselChart_Values out{};
  for (int i = 0; i < 100; ++i) TamselChart_StreamSetPush(set, &walk.high[i], &walk.low[i], nullptr, &out);
  const Bytes before = SaveMember(set, 0);
  Bytes cut(before.begin(), before.end() - 1);
  Bytes flipped = before;
  flipped[before.size() / 2] ^= 0x10;
  const std::pair<Bytes, int> refused[] = {{cut, TAMSELCHART_SNAPSHOT_TOO_SHORT},
                                           {flipped, TAMSELCHART_SNAPSHOT_DAMAGED},
                                           {Bytes(64, 'x'), TAMSELCHART_SNAPSHOT_NOT_A_SNAPSHOT}};
  for (const auto& [bytes, why] : refused) {
    int reason = -1;
    EXPECT_EQ(TamselChart_StreamSetLoad(set, 0, bytes.data(), static_cast<int>(bytes.size()), &reason), 0);
    EXPECT_EQ(reason, why);
    EXPECT_EQ(SaveMember(set, 0), before);
  }
  EXPECT_EQ(TamselChart_StreamSetLoad(set, 0, nullptr, 0, nullptr), 0);
  TamselChart_StreamSetDestroy(set);
}

TEST(MultiSeriesStreamSet, TheCommittedSnapshotLoadsIntoAMemberAndContinues) {
  std::ifstream file(TAMSEL_SNAPSHOT_V1_FILE, std::ios::binary);
  ASSERT_TRUE(file) << TAMSEL_SNAPSHOT_V1_FILE;
  const Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  for (const Reference& r : Corpus()) {
    if (r.name != "walk_long") continue;
    tamsel::StreamSet set(3);
    set.Load(1, bytes);
    tamsel::Stream stream = tamsel::Stream::Load(bytes);
    for (std::size_t i = 1000; i < r.high.size(); ++i) {
      const std::vector<float> high(3, r.high[i]), low(3, r.low[i]);
      const std::vector<Values>& latest = set.Push(high, low, {0, 1, 0});
      ASSERT_TRUE(Same(latest[1], {r.outputs[0][i], r.outputs[1][i], r.outputs[2][i], r.outputs[3][i]}))
          << "bar " << i + 1;
      stream.Push(r.high[i], r.low[i]);
    }
    // The member ends where the loaded stream does; the members without
    // bars are still fresh streams.
    EXPECT_EQ(set.Save(1), stream.Save());
    EXPECT_EQ(set.Save(0), tamsel::Stream().Save());
    return;
  }
  FAIL() << "no golden series walk_long";
}

// A member loaded far ahead of its neighbours (its rings and record slots in
// other places than theirs) joins their lanes, leaves them for one interval
// and joins again: bit for bit its own series throughout, and its snapshot at
// the end that of a stream that pushed every bar.
TEST(MultiSeriesStreamSet, AMemberFarAheadSharesLanesWithItsNeighbours) {
  const Reference* walk = nullptr;
  for (const Reference& r : Corpus())
    if (r.name == "walk_long") walk = &r;
  ASSERT_NE(walk, nullptr);
  // Whole groups for every engine, so no member alone takes the lane the
  // loaded one leaves.
  constexpr int kMembers = 8;
  constexpr int kLoaded = 3;
  constexpr std::size_t kAhead = 2000;
  TamselChart_Stream* ahead = TamselChart_StreamCreate();
  TamselChart_Values ignored{};
  for (std::size_t i = 0; i < kAhead; ++i) TamselChart_StreamPush(ahead, walk->high[i], walk->low[i], &ignored);
  const Bytes aheadBytes = SaveStream(ahead);

  TamselChart_StreamSet* set = TamselChart_StreamSetCreate(kMembers);
  std::vector<std::size_t> next(kMembers, 0);
  for (int interval = 0; next[kLoaded] < walk->high.size(); ++interval) {
    if (interval == 100) {
      ASSERT_EQ(
          TamselChart_StreamSetLoad(set, kLoaded, aheadBytes.data(), static_cast<int>(aheadBytes.size()), nullptr), 1);
      next[kLoaded] = kAhead;
    }
    float high[kMembers], low[kMembers];
    unsigned char hasBar[kMembers];
    TamselChart_Values out[kMembers];
    for (int m = 0; m < kMembers; ++m) {
      hasBar[m] = m == kLoaded && interval == 400 ? 0 : 1;
      high[m] = walk->high[next[m]];
      low[m] = walk->low[next[m]];
    }
    ASSERT_EQ(TamselChart_StreamSetPush(set, high, low, hasBar, out), interval == 400 ? kMembers - 1 : kMembers);
    for (int m = 0; m < kMembers; ++m) {
      if (hasBar[m] == 0) continue;
      const std::size_t i = next[m]++;
      ASSERT_TRUE(Same(out[m], {walk->outputs[0][i], walk->outputs[1][i], walk->outputs[2][i], walk->outputs[3][i]}))
          << "member " << m << ", bar " << i + 1;
    }
  }
  for (std::size_t i = kAhead; i < walk->high.size(); ++i)
    TamselChart_StreamPush(ahead, walk->high[i], walk->low[i], &ignored);
  EXPECT_EQ(SaveMember(set, kLoaded), SaveStream(ahead));
  TamselChart_StreamDestroy(ahead);
  TamselChart_StreamSetDestroy(set);
}

// ---- the C++ wrapper -----------------------------------------------------------

TEST(MultiSeriesWrapper, AllIndicatorsManyGivesEachSeriesItsOwnValues) {
  std::vector<Prices> series;
  for (std::size_t i = 0; i < Corpus().size(); i += 5) series.push_back({Corpus()[i].high, Corpus()[i].low});
  series.push_back({});
  const std::vector<IndicatorSeries> many = AllIndicatorsMany(series);
  ASSERT_EQ(many.size(), series.size());
  for (std::size_t s = 0; s < series.size(); ++s) {
    const IndicatorSeries alone = AllIndicators(series[s].High, series[s].Low);
    EXPECT_TRUE(alone.CyclePeriod == many[s].CyclePeriod || s + 1 == series.size());
    for (std::size_t i = 0; i < alone.SwingPosition.size(); ++i)
      ASSERT_TRUE(SameFloat(alone.SwingPosition[i], many[s].SwingPosition[i]) &&
                  SameFloat(alone.TrendVigor[i], many[s].TrendVigor[i]) &&
                  SameFloat(alone.SignalToNoiseRatio[i], many[s].SignalToNoiseRatio[i]));
  }
  EXPECT_TRUE(many.back().CyclePeriod.empty());
  EXPECT_TRUE(AllIndicatorsMany({}).empty());
  EXPECT_THROW(AllIndicatorsMany({{{1.0f, 2.0f}, {1.0f}}}), std::invalid_argument);
}

TEST(MultiSeriesWrapper, StreamSetChecksItsArguments) {
  EXPECT_THROW(tamsel::StreamSet empty(0), std::invalid_argument);
  tamsel::StreamSet set(2);
  EXPECT_EQ(set.Size(), 2u);
  EXPECT_THROW(set.Push({1.0f}, {1.0f}), std::invalid_argument);
  EXPECT_THROW(set.Push({1.0f, 2.0f}, {1.0f, 2.0f}, {1}), std::invalid_argument);
  EXPECT_THROW(set.Save(2), std::out_of_range);
  EXPECT_THROW(set.Load(0, Bytes(10, 0)), SnapshotError);
  const std::vector<Values>& latest = set.Push({101.0f, 50.0f}, {99.0f, 49.0f}, {1, 0});
  EXPECT_EQ(latest[0].CyclePeriod, 0.0f);  // bar 1
  // No bar yet: NaN, as in every front end, where 0 is a bar's own value.
  EXPECT_TRUE(std::isnan(latest[1].CyclePeriod) && std::isnan(latest[1].SignalToNoiseRatio) &&
              std::isnan(latest[1].SwingPosition) && std::isnan(latest[1].TrendVigor));
  set.Load(0, set.Save(0));
  EXPECT_TRUE(std::isnan(set.Latest(0).CyclePeriod) && std::isnan(set.Latest(0).TrendVigor));
  tamsel::StreamSet moved = std::move(set);
  EXPECT_EQ(moved.Size(), 2u);
  // The documented failure of a moved-from set:
  // NOLINTNEXTLINE(bugprone-use-after-move,clang-analyzer-cplusplus.Move)
  EXPECT_THROW(set.Push({1.0f, 2.0f}, {1.0f, 2.0f}), std::logic_error);
}

TEST(MultiSeriesWrapper, StreamSetPushPricesNamesTheRefusingMember) {
  tamsel::StreamSet set(3, tamsel::Missing::Previous);
  EXPECT_THROW(set.PushPrices({1.0, 2.0}, {1.0, 2.0}), std::invalid_argument);
  set.PushPrices({101.0, 50.0, 10.0}, {99.0, 49.0, 9.0});
  // The previous bar's prices stand in for member 1's missing high.
  const Values repeated = set.PushPrices({102.0, std::nan(""), 11.0}, {100.0, 48.0, 9.5})[1];
  tamsel::Stream alone;
  alone.Push(50.0f, 49.0f);
  EXPECT_TRUE(Same(repeated, alone.Push(50.0f, 48.0f)));
  try {
    set.PushPrices({103.0, 51.0, 1e300}, {101.0, 50.0, 10.0});
    ADD_FAILURE() << "a price beyond float range was taken";
  } catch (const PriceError& e) {
    EXPECT_EQ(e.Member(), 2);
    EXPECT_EQ(e.Problem().bar, 3);
    EXPECT_EQ(e.Problem().kind, TAMSELCHART_PRICE_OUT_OF_RANGE);
    EXPECT_NE(std::string(e.what()).find("member 2, high price of bar 3"), std::string::npos) << e.what();
  }
  // Nothing was committed: member 0 is still at bar 2.
  tamsel::Stream member0(tamsel::Missing::Previous);
  member0.PushPrices(101.0, 99.0);
  member0.PushPrices(102.0, 100.0);
  EXPECT_EQ(set.Save(0), member0.Save());
}

}  // namespace
}  // namespace tamsel::testing
