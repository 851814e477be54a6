// SPDX-License-Identifier: MIT
// Snapshots: a stream saved after any bar and loaded goes on with exactly the
// values it would have had; the loader refuses every cut, flipped or
// invented byte string with a reason, and takes the snapshot committed with
// the first format.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "TamselCharts.hpp"
#include "api/snapshot_bytes.hpp"
#include "support/generated_series.hpp"
#include "support/golden_file.hpp"

namespace tamsel::testing {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes Save(const TamselChart_Stream* stream) {
  Bytes bytes(static_cast<std::size_t>(TamselChart_StreamSave(stream, nullptr, 0)));
  EXPECT_EQ(TamselChart_StreamSave(stream, bytes.data(), static_cast<int>(bytes.size())),
            static_cast<int>(bytes.size()));
  return bytes;
}

int LoadReason(const Bytes& bytes) {
  int reason = -1;
  TamselChart_Stream* stream = TamselChart_StreamLoad(bytes.data(), static_cast<int>(bytes.size()), &reason);
  EXPECT_EQ(stream != nullptr, reason == TAMSELCHART_SNAPSHOT_OK);
  TamselChart_StreamDestroy(stream);
  return reason;
}

bool Same(const TamselChart_Values& a, const TamselChart_Values& b) {
  return SameFloat(a.CyclePeriod, b.CyclePeriod) && SameFloat(a.SignalToNoiseRatio, b.SignalToNoiseRatio) &&
         SameFloat(a.SwingPosition, b.SwingPosition) && SameFloat(a.TrendVigor, b.TrendVigor);
}

// Field offsets of the first format (docs/snapshot-format.md).
constexpr std::size_t kFormatOffset = 8;
constexpr std::size_t kBarOffset = 24;
constexpr std::size_t kStateOffset = 28;

// The golden series the committed snapshot was saved from, after its first
// 1,000 bars.
constexpr const char* kSnapshotV1Series = "walk_long";

// Writes a little-endian value into a snapshot and seals it again, as a
// writer that knows the format but not the library would.
template <class T>
void Forge(Bytes& bytes, std::size_t offset, T value) {
  unsigned char raw[sizeof(T)];
  std::memcpy(raw, &value, sizeof raw);
  for (std::size_t i = 0; i < sizeof raw; ++i) bytes[offset + i] = raw[i];  // the test hosts are little-endian
  const std::uint32_t crc = snapshot::Crc32c(bytes.data(), bytes.size() - 4);
  for (int i = 0; i < 4; ++i)
    bytes[bytes.size() - 4 + static_cast<std::size_t>(i)] = static_cast<unsigned char>(crc >> (8 * i));
}

TEST(Snapshot, ResumingAfterAnyBarGivesTheValuesOfTheStreamNeverSaved) {
  for (const GoldenSeries& s : ReadGoldenFile(TAMSEL_GOLDEN_FILE)) {
    const int n = static_cast<int>(s.high.size());
    const int step = n <= 120 ? 1 : 37;
    for (int k = 0; k <= n; k += (k < 60 || k > n - 3 ? 1 : step)) {
      TamselChart_Stream* original = TamselChart_StreamCreate();
      TamselChart_Values v{};
      for (int i = 0; i < k; ++i) TamselChart_StreamPush(original, s.high[i], s.low[i], &v);
      const Bytes bytes = Save(original);
      TamselChart_StreamDestroy(original);
      int reason = -1;
      TamselChart_Stream* resumed = TamselChart_StreamLoad(bytes.data(), static_cast<int>(bytes.size()), &reason);
      ASSERT_NE(resumed, nullptr) << s.name << " after bar " << k << ": " << TamselChart_SnapshotProblemText(reason);
      for (int i = k; i < n; ++i) {
        ASSERT_EQ(TamselChart_StreamPush(resumed, s.high[i], s.low[i], &v), i + 1);
        const TamselChart_Values golden{s.cyclePeriod[i], s.signalToNoiseRatio[i], s.swingPosition[i], s.trendVigor[i]};
        ASSERT_TRUE(Same(v, golden)) << s.name << " saved after bar " << k << ", bar " << i + 1;
      }
      // A snapshot of the resumed stream is the snapshot of the original.
      if (k == n) {
        EXPECT_EQ(Save(resumed), bytes) << s.name;
      }
      TamselChart_StreamDestroy(resumed);
    }
  }
}

TEST(Snapshot, ThePolicyAndItsRememberedPricesTravelWithTheStream) {
  const Series s = RandomWalk("walk", 31, 400, 100.0);
  tamsel::Stream original(Missing::Previous);
  for (int i = 0; i < 200; ++i) original.PushPrices(s.high[i], i % 17 == 3 ? NAN : s.low[i]);
  const Bytes bytes = original.Save();
  tamsel::Stream resumed = tamsel::Stream::Load(bytes);
  EXPECT_EQ(TamselChart_StreamMissingPolicy(resumed.Handle()), TAMSELCHART_MISSING_PREVIOUS);
  for (int i = 200; i < 400; ++i) {
    const double low = i % 17 == 3 ? NAN : s.low[i];
    ASSERT_TRUE(Same(original.PushPrices(s.high[i], low), resumed.PushPrices(s.high[i], low))) << "bar " << i + 1;
  }
}

TEST(Snapshot, SizeQueryAndTooSmallABufferWriteNothing) {
  TamselChart_Stream* stream = TamselChart_StreamCreate();
  const int size = TamselChart_StreamSave(stream, nullptr, 0);
  EXPECT_GT(size, 0);
  EXPECT_LE(size, TAMSELCHART_SNAPSHOT_MAX_BYTES);
  Bytes buffer(static_cast<std::size_t>(size), 0xAB);
  EXPECT_EQ(TamselChart_StreamSave(stream, buffer.data(), size - 1), size);
  EXPECT_EQ(TamselChart_StreamSave(stream, buffer.data(), -1), size);
  for (unsigned char b : buffer) ASSERT_EQ(b, 0xAB);
  EXPECT_EQ(TamselChart_StreamSave(nullptr, buffer.data(), size), 0);
  TamselChart_StreamDestroy(stream);
}

TEST(Snapshot, EveryCutAndEveryFlippedBitIsRefusedWithAReason) {
  const Series s = Cycle("cycle", 32, 700, 21.0, 50.0, 2.0, 0.2);
  TamselChart_Stream* stream = TamselChart_StreamCreate();
  TamselChart_Values v{};
  for (int i = 0; i < 700; ++i) TamselChart_StreamPush(stream, s.high[i], s.low[i], &v);
  const Bytes bytes = Save(stream);
  TamselChart_StreamDestroy(stream);
  ASSERT_EQ(LoadReason(bytes), TAMSELCHART_SNAPSHOT_OK);

  for (std::size_t length = 0; length < bytes.size(); ++length) {
    const Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
    const int reason = LoadReason(cut);
    EXPECT_TRUE(reason == TAMSELCHART_SNAPSHOT_TOO_SHORT ||
                (length == 0 && reason == TAMSELCHART_SNAPSHOT_NOT_A_SNAPSHOT))
        << "cut to " << length << " bytes: " << reason;
  }
  Bytes longer = bytes;
  longer.push_back(0);
  EXPECT_EQ(LoadReason(longer), TAMSELCHART_SNAPSHOT_DAMAGED);

  for (std::size_t byte = 0; byte < bytes.size(); ++byte) {
    // Every bit of the header, and one bit (chosen by the position) of each
    // byte after it.
    for (int bit = byte < kStateOffset ? 0 : static_cast<int>(byte % 8); bit < 8; bit += byte < kStateOffset ? 1 : 8) {
      Bytes flipped = bytes;
      flipped[byte] = static_cast<unsigned char>(flipped[byte] ^ (1u << bit));
      const int reason = LoadReason(flipped);
      ASSERT_NE(reason, TAMSELCHART_SNAPSHOT_OK) << "byte " << byte << " bit " << bit;
      EXPECT_STRNE(TamselChart_SnapshotProblemText(reason), "unknown snapshot problem");
    }
  }
  EXPECT_EQ(LoadReason(Bytes{'h', 'i', 'g', 'h', ',', 'l', 'o', 'w', '\n', '1'}), TAMSELCHART_SNAPSHOT_NOT_A_SNAPSHOT);
  EXPECT_EQ(TamselChart_StreamLoad(nullptr, 5, nullptr), nullptr);
  EXPECT_EQ(TamselChart_StreamLoad(bytes.data(), -1, nullptr), nullptr);
}

// Sealed with a valid checksum, but holding what no stream can: the loader's
// own checks refuse it rather than a later push reading outside the state.
TEST(Snapshot, AValidChecksumOverAStateNoStreamReachesIsRefused) {
  const Series s = RandomWalk("walk", 33, 300, 100.0);
  TamselChart_Stream* stream = TamselChart_StreamCreate();
  TamselChart_Values v{};
  for (int i = 0; i < 300; ++i) TamselChart_StreamPush(stream, s.high[i], s.low[i], &v);
  const Bytes good = Save(stream);
  TamselChart_StreamDestroy(stream);
  const std::size_t size = good.size();
  // The last fields: policy, whether there are prices, the two prices, checksum.
  const std::size_t policyOffset = size - 4 - 24;
  const std::size_t trendRatioOffset = policyOffset - 8;
  const std::size_t trendPeriodOffset = trendRatioOffset - 16;
  const std::size_t trendNewestOffset = trendPeriodOffset - 24 - 4;
  struct Case {
    const char* what;
    std::size_t offset;
    std::int64_t value;  // written in the field's own width below
    int width;
  };
  const Case cases[] = {
      {"a negative bar number", kBarOffset, -3, 4},
      {"a bar number the rings disagree with", kBarOffset, 301, 4},
      {"a bar number of zero with a history", kBarOffset, 0, 4},
      {"a ring position outside the ring", trendNewestOffset, 1024, 4},
      {"a ring position the bar number disagrees with", trendNewestOffset, 7, 4},
      {"no such policy", policyOffset, 3, 4},
      {"a flag that is neither 0 nor 1", policyOffset + 4, 2, 4},
      {"no previous prices after 300 bars", policyOffset + 4, 0, 4},
  };
  for (const Case& c : cases) {
    Bytes forged = good;
    if (c.width == 4) Forge(forged, c.offset, static_cast<std::int32_t>(c.value));
    EXPECT_EQ(LoadReason(forged), TAMSELCHART_SNAPSHOT_UNREACHABLE) << c.what;
  }
  Bytes nan = good;
  Forge(nan, trendRatioOffset, std::nan(""));
  EXPECT_EQ(LoadReason(nan), TAMSELCHART_SNAPSHOT_UNREACHABLE) << "a NaN trend ratio, which is always clamped";
  Bytes period = good;
  Forge(period, trendPeriodOffset, std::nan(""));
  EXPECT_EQ(LoadReason(period), TAMSELCHART_SNAPSHOT_UNREACHABLE) << "a NaN tuned period";
  Bytes price = good;
  Forge(price, policyOffset + 8, 0.1);
  EXPECT_EQ(LoadReason(price), TAMSELCHART_SNAPSHOT_UNREACHABLE) << "a remembered price that is no float";
  Bytes reserved = good;
  Forge(reserved, 18, std::uint16_t{1});
  EXPECT_EQ(LoadReason(reserved), TAMSELCHART_SNAPSHOT_UNREACHABLE) << "the zero after the version set";
  Bytes future = good;
  Forge(future, kFormatOffset, std::uint32_t{2});
  EXPECT_EQ(LoadReason(future), TAMSELCHART_SNAPSHOT_UNKNOWN_FORMAT);
}

// The first format's snapshot, committed: every later version must load it
// and continue the series it was saved from (its first 1,000 bars of the
// golden 3,000-bar series) to the golden values.
TEST(Snapshot, TheCommittedFirstFormatSnapshotLoadsAndContinues) {
  std::ifstream file(TAMSEL_SNAPSHOT_V1_FILE, std::ios::binary);
  ASSERT_TRUE(file) << TAMSEL_SNAPSHOT_V1_FILE;
  const Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const tamsel::Stream resumed = tamsel::Stream::Load(bytes);
  tamsel::Stream stream = resumed;
  for (const GoldenSeries& s : ReadGoldenFile(TAMSEL_GOLDEN_FILE)) {
    if (s.name != kSnapshotV1Series) continue;
    for (std::size_t i = 1000; i < s.high.size(); ++i) {
      const Values v = stream.Push(s.high[i], s.low[i]);
      ASSERT_TRUE(Same(v, {s.cyclePeriod[i], s.signalToNoiseRatio[i], s.swingPosition[i], s.trendVigor[i]}))
          << "bar " << i + 1;
    }
    return;
  }
  FAIL() << "no golden series " << kSnapshotV1Series;
}

// The documented layout ends where a snapshot does, with its checksum, and
// the documented check value is the checksum's.
TEST(Snapshot, TheDocumentedLayoutIsTheFormat) {
  std::ifstream file(std::string(TAMSEL_SOURCE_DIR) + "/docs/snapshot-format.md");
  const std::string doc((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const std::size_t row = doc.find(" | 4 | u32 | CRC-32C");
  ASSERT_NE(row, std::string::npos);
  const std::size_t start = doc.rfind("| ", row);
  TamselChart_Stream* stream = TamselChart_StreamCreate();
  EXPECT_EQ(std::stoi(doc.substr(start + 2, row - start - 2)) + 4, TamselChart_StreamSave(stream, nullptr, 0));
  TamselChart_StreamDestroy(stream);
  const unsigned char check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(snapshot::Crc32c(check, sizeof check), 0xE3069283u);
  EXPECT_NE(doc.find("0xE3069283"), std::string::npos);
}

TEST(Snapshot, TheWrapperThrowsTheLoadersReason) {
  try {
    tamsel::Stream::Load(Bytes{1, 2, 3});
    FAIL() << "nothing thrown";
  } catch (const SnapshotError& e) {
    EXPECT_EQ(e.Reason(), TAMSELCHART_SNAPSHOT_NOT_A_SNAPSHOT);
    EXPECT_NE(std::string(e.what()).find("not a snapshot"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace tamsel::testing
