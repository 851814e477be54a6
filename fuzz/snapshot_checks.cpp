// SPDX-License-Identifier: MIT
#include "snapshot_checks.hpp"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "TamselCharts.h"
#include "trapping_host.hpp"

namespace tamsel::fuzz {
namespace {

[[noreturn]] void Fail(const char* what, long long detail = 0) {
  std::fprintf(stderr, "tamsel snapshot fuzz check failed: %s (%lld)\n", what, detail);
  std::abort();
}

// Where docs/snapshot-format.md puts the fields the checks read: the header
// from the start, the remembered prices and the checksum from the end.
constexpr unsigned char kMark[8] = {0x89, 'T', 'S', 'N', 'P', '\r', '\n', 0x1A};
constexpr std::size_t kFormatAt = 8, kVersionAt = 12, kVersionEnd = 20, kSizeAt = 20, kBarAt = 24, kHeaderEnd = 28;
constexpr std::size_t kPolicyFromEnd = 28, kChecksumFromEnd = 4;

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
         static_cast<std::uint32_t>(p[3]) << 24;
}

int FormatSize() {
  static const int size = [] {
    TamselChart_Stream* fresh = TamselChart_StreamCreate();
    const int n = TamselChart_StreamSave(fresh, nullptr, 0);
    TamselChart_StreamDestroy(fresh);
    if (n <= static_cast<int>(kHeaderEnd + kPolicyFromEnd) || n > TAMSELCHART_SNAPSHOT_MAX_BYTES)
      Fail("a snapshot's size", n);
    return n;
  }();
  return size;
}

// The reason the format's description gives for bytes that are no loadable
// snapshot, as far as the header and checksum tell; -1 when only the state
// decides (loaded, or refused as unreachable).
int ReasonFromHeader(const std::uint8_t* bytes, std::size_t n) {
  const std::size_t marked = n < sizeof kMark ? n : sizeof kMark;
  if (n == 0 || std::memcmp(bytes, kMark, marked) != 0) return TAMSELCHART_SNAPSHOT_NOT_A_SNAPSHOT;
  if (n < kHeaderEnd) return TAMSELCHART_SNAPSHOT_TOO_SHORT;
  if (Le32(bytes + kFormatAt) != 1) return TAMSELCHART_SNAPSHOT_UNKNOWN_FORMAT;
  const std::uint32_t stated = Le32(bytes + kSizeAt);
  if (n < stated) return TAMSELCHART_SNAPSHOT_TOO_SHORT;
  const auto size = static_cast<std::size_t>(FormatSize());
  if (stated != size || n != size) return TAMSELCHART_SNAPSHOT_DAMAGED;
  if (SnapshotCrc32c(bytes, n - kChecksumFromEnd) != Le32(bytes + n - kChecksumFromEnd))
    return TAMSELCHART_SNAPSHOT_DAMAGED;
  return -1;
}

// A price for a later bar from one byte of the tail: the prices a policy
// treats specially, the edges of float range, or an ordinary one.
double Price(std::uint8_t b) {
  static const double kSpecial[] = {NAN,    INFINITY, -INFINITY, 1e300, -1e300, static_cast<double>(FLT_MAX),
                                    3.5e38, 1e-45,    0.0,       -0.0,  -100.0, 1e30};
  constexpr unsigned kCount = sizeof kSpecial / sizeof kSpecial[0];
  return b % 32 < kCount ? kSpecial[b % 32] : 100.0 + static_cast<std::int8_t>(b) * 0.5;
}

bool Takeable(double price) { return std::isfinite(price) && std::fabs(price) <= static_cast<double>(FLT_MAX); }

void CheckValues(const TamselChart_Values& v, bool inRange) {
  if (!inRange) return;
  const float values[] = {v.CyclePeriod, v.SignalToNoiseRatio, v.SwingPosition, v.TrendVigor};
  for (int k = 0; k < TamselChart_IndicatorCount(); ++k) {
    const TamselChart_IndicatorInfo* info = TamselChart_Indicator(k);
    if (!(std::isnan(values[k]) || (values[k] >= info->lowest && values[k] <= info->highest))) {
      std::fprintf(stderr, "tamsel snapshot fuzz check failed: %s %a outside %g..%g\n", info->column,
                   static_cast<double>(values[k]), static_cast<double>(info->lowest),
                   static_cast<double>(info->highest));
      std::abort();
    }
  }
}

bool SameValues(const TamselChart_Values& a, const TamselChart_Values& b) {
  const auto same = [](float x, float y) { return std::memcmp(&x, &y, sizeof x) == 0 || (x != x && y != y); };
  return same(a.CyclePeriod, b.CyclePeriod) && same(a.SignalToNoiseRatio, b.SignalToNoiseRatio) &&
         same(a.SwingPosition, b.SwingPosition) && same(a.TrendVigor, b.TrendVigor);
}

std::vector<std::uint8_t> Save(const TamselChart_Stream* stream) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(FormatSize()));
  if (FromTrappingHost("StreamSave", [&] {
        return TamselChart_StreamSave(stream, bytes.data(), static_cast<int>(bytes.size()));
      }) != FormatSize())
    Fail("StreamSave of a loaded stream changed the size");
  return bytes;
}

// Three tail bytes a bar: what to do, then the high and the low price.
// inRange: the state is one a stream reached by prices (its checksum was not
// forged), whose values keep to their ranges; a forged history may take
// them anywhere (docs/snapshot-format.md leaves such states to the
// checksum), and then only the bar numbers and refusals are checked.
void PushTail(TamselChart_Stream* stream, std::int32_t bar, const std::uint8_t* tail, std::size_t size, bool inRange) {
  for (std::size_t at = 0; at + 3 <= size; at += 3) {
    const unsigned action = tail[at];
    const double high = Price(tail[at + 1]), low = Price(tail[at + 2]);
    const std::int32_t next = bar < INT32_MAX ? bar + 1 : bar;
    TamselChart_Values values{};
    if ((action & 3) == 1) {
      // A plain push takes floats as they are.
      if (TamselChart_StreamPush(stream, static_cast<float>(high), static_cast<float>(low), &values) != next)
        Fail("StreamPush after a load numbered the bar", next);
      CheckValues(values, inRange);
      bar = next;
      continue;
    }
    if ((action & 3) == 3) {
      const int policy = static_cast<int>(action >> 2 & 3), before = TamselChart_StreamMissingPolicy(stream);
      const int set = TamselChart_StreamSetMissingPolicy(stream, policy);
      if (set != (policy < 3 ? 1 : 0) || TamselChart_StreamMissingPolicy(stream) != (policy < 3 ? policy : before))
        Fail("StreamSetMissingPolicy after a load", policy);
    }
    const int policy = TamselChart_StreamMissingPolicy(stream);
    TamselChart_PriceProblem problem{};
    TamselChart_Values peeked{};
    const int peekedBar = TamselChart_StreamPeekPrices(stream, high, low, &peeked, &problem);
    const int pushed = TamselChart_StreamPushPrices(stream, high, low, &values, &problem);
    if (peekedBar != pushed || (pushed != 0 && !SameValues(peeked, values)))
      Fail("a peek after a load differs from the push", pushed);
    // What each policy refuses (TamselCharts.h): "nan" nothing, "error"
    // every price that is no float, "previous" the same except a NaN that
    // has a previous price to repeat.
    const bool refusable = policy == TAMSELCHART_MISSING_ERROR ? !Takeable(high) || !Takeable(low)
                           : policy == TAMSELCHART_MISSING_PREVIOUS
                               ? (!Takeable(high) && !std::isnan(high)) || (!Takeable(low) && !std::isnan(low)) ||
                                     (bar == 0 && (std::isnan(high) || std::isnan(low)))
                               : false;
    if (pushed == 0) {
      if (!refusable || problem.kind < TAMSELCHART_PRICE_MISSING || problem.kind > TAMSELCHART_PRICE_NO_PREVIOUS ||
          problem.bar != next)
        Fail("StreamPushPrices after a load refused a bar it should take, or said so wrongly", problem.kind);
      continue;
    }
    if (refusable || pushed != next) Fail("StreamPushPrices after a load took or numbered a bar wrongly", pushed);
    CheckValues(values, inRange);
    bar = next;
  }
}

std::uint64_t Fnv1a(const std::uint8_t* bytes, std::size_t size) {
  std::uint64_t digest = 0xcbf29ce484222325ULL;
  for (std::size_t i = 0; i < size; ++i) digest = (digest ^ bytes[i]) * 0x100000001b3ULL;
  return digest;
}

}  // namespace

std::uint32_t SnapshotCrc32c(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) != 0 ? (crc >> 1) ^ 0x82F63B78u : crc >> 1;
  }
  return crc ^ 0xFFFFFFFFu;
}

std::uint64_t CheckSnapshot(const std::uint8_t* data, std::size_t size, SnapshotChecksum checksum) {
  static const bool crcChecked = [] {
    if (SnapshotCrc32c(reinterpret_cast<const std::uint8_t*>("123456789"), 9) != 0xE3069283u)
      Fail("the CRC-32C check value");
    return true;
  }();
  (void)crcChecked;
  const auto formatSize = static_cast<std::size_t>(FormatSize());
  const bool recompute = checksum == SnapshotChecksum::Recomputed && size >= formatSize;
  // An exactly sized copy: a read past the end is a heap overflow that
  // AddressSanitizer reports.
  const std::size_t n = recompute ? formatSize : size;
  auto bytes = std::make_unique<std::uint8_t[]>(n > 0 ? n : 1);
  if (n > 0) std::memcpy(bytes.get(), data, n);
  if (recompute) {
    const std::uint32_t crc = SnapshotCrc32c(bytes.get(), n - kChecksumFromEnd);
    for (int k = 0; k < 4; ++k) bytes[n - kChecksumFromEnd + k] = static_cast<std::uint8_t>(crc >> (8 * k));
  }
  const std::uint8_t* tail = recompute && size > n ? data + n : data + (size > 24 ? size - 24 : 0);
  const std::size_t tailSize = recompute && size > n ? size - n : (size > 24 ? 24 : size);

  int reason = -1;
  TamselChart_Stream* stream =
      FromTrappingHost("StreamLoad", [&] { return TamselChart_StreamLoad(bytes.get(), static_cast<int>(n), &reason); });
  if ((stream != nullptr) != (reason == TAMSELCHART_SNAPSHOT_OK))
    Fail("StreamLoad's reason and result disagree", reason);
  TamselChart_Stream* unasked = TamselChart_StreamLoad(bytes.get(), static_cast<int>(n), nullptr);
  if ((unasked != nullptr) != (stream != nullptr)) Fail("StreamLoad without a reason decides otherwise");
  TamselChart_StreamDestroy(unasked);
  const int expected = ReasonFromHeader(bytes.get(), n);
  if (stream == nullptr) {
    if (reason < TAMSELCHART_SNAPSHOT_TOO_SHORT || reason > TAMSELCHART_SNAPSHOT_OUT_OF_MEMORY)
      Fail("StreamLoad refused with no documented reason", reason);
    const char* text = TamselChart_SnapshotProblemText(reason);
    if (text == nullptr || *text == 0 || std::strcmp(text, TamselChart_SnapshotProblemText(-1)) == 0)
      Fail("a refusal's reason has no sentence of its own", reason);
    if (reason != TAMSELCHART_SNAPSHOT_OUT_OF_MEMORY &&
        reason != (expected >= 0 ? expected : TAMSELCHART_SNAPSHOT_UNREACHABLE))
      Fail("StreamLoad refused for another reason than its header and checksum give", reason);
    const auto refusal = static_cast<std::uint8_t>(reason);
    return Fnv1a(&refusal, 1);
  }
  if (expected >= 0) Fail("StreamLoad took bytes that its header or checksum refuse", expected);

  // Saved again, the stream gives its bytes back; only the writing library's
  // version (with the zero after it), which the loader reads past, and so
  // the checksum may differ.
  const std::vector<std::uint8_t> saved = Save(stream);
  if (std::memcmp(saved.data(), bytes.get(), kVersionAt) != 0 ||
      std::memcmp(saved.data() + kVersionEnd, bytes.get() + kVersionEnd, n - kVersionEnd - kChecksumFromEnd) != 0)
    Fail("a loaded stream saves other bytes than it was loaded from");
  if (SnapshotCrc32c(saved.data(), n - kChecksumFromEnd) != Le32(saved.data() + n - kChecksumFromEnd))
    Fail("StreamSave wrote a wrong checksum");
  const std::int32_t bar = static_cast<std::int32_t>(Le32(bytes.get() + kBarAt));
  if (TamselChart_StreamMissingPolicy(stream) != static_cast<int>(Le32(bytes.get() + n - kPolicyFromEnd)))
    Fail("a loaded stream's policy is not the snapshot's");

  const bool forged = recompute && Le32(data + n - kChecksumFromEnd) != Le32(bytes.get() + n - kChecksumFromEnd);
  PushTail(stream, bar, tail, tailSize, !forged);
  // Whatever the loaded state, the stream it becomes is one a snapshot can hold.
  const std::vector<std::uint8_t> after = Save(stream);
  TamselChart_Stream* reloaded = TamselChart_StreamLoad(after.data(), static_cast<int>(after.size()), &reason);
  if (reloaded == nullptr) Fail("StreamLoad refused what a loaded stream saved after more bars", reason);
  if (Save(reloaded) != after) Fail("a reloaded stream saves other bytes");
  TamselChart_StreamDestroy(reloaded);
  TamselChart_StreamDestroy(stream);
  return Fnv1a(after.data(), after.size());
}

}  // namespace tamsel::fuzz
