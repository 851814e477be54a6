// SPDX-License-Identifier: MIT
// Saving a stream as a snapshot and loading one back (docs/snapshot-format.md):
// the header, the state in the order each part visits it, what the
// missing-price policy remembers, the checksum; and the loader's checks of a
// state that no stream can be in.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

#include "TamselCharts.h"
#include "aligned_allocation.hpp"
#include "float_environment_guard.hpp"
#include "snapshot_bytes.hpp"
#include "stream_state.hpp"

namespace tamsel::snapshot {

std::uint32_t Crc32c(const unsigned char* data, std::size_t size) {
  // Eight tables, so that eight bytes are folded in per step ("slicing by
  // 8"): the same checksum as a byte at a time, several times faster over a
  // snapshot's 11 KB.
  struct Tables {
    std::uint32_t entry[8][256];
    constexpr Tables() : entry() {
      for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? (c >> 1) ^ 0x82F63B78u : c >> 1;
        entry[0][i] = c;
      }
      for (int t = 1; t < 8; ++t)
        for (std::uint32_t i = 0; i < 256; ++i)
          entry[t][i] = (entry[t - 1][i] >> 8) ^ entry[0][entry[t - 1][i] & 0xFFu];
    }
  };
  static constexpr Tables kTables;
  const auto& t = kTables.entry;
  std::uint32_t crc = 0xFFFFFFFFu;
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    const std::uint32_t low =
        crc ^ (static_cast<std::uint32_t>(data[i]) | static_cast<std::uint32_t>(data[i + 1]) << 8 |
               static_cast<std::uint32_t>(data[i + 2]) << 16 | static_cast<std::uint32_t>(data[i + 3]) << 24);
    crc = t[7][low & 0xFFu] ^ t[6][(low >> 8) & 0xFFu] ^ t[5][(low >> 16) & 0xFFu] ^ t[4][low >> 24] ^
          t[3][data[i + 4]] ^ t[2][data[i + 5]] ^ t[1][data[i + 6]] ^ t[0][data[i + 7]];
  }
  for (; i < size; ++i) crc = t[0][(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

namespace {

// A PNG-like mark: a byte that is not ASCII, the name, CR LF and ^Z, so that a
// transfer in text mode or a truncation to 7 bits shows as "not a snapshot".
constexpr unsigned char kMagic[8] = {0x89, 'T', 'S', 'N', 'P', '\r', '\n', 0x1A};
constexpr std::uint32_t kFormat = 1;
// Mark, format, the writing library's version (three 16-bit parts and a
// zero), the snapshot's size, the bar number.
constexpr std::size_t kHeaderBytes = sizeof kMagic + 4 + 4 * 2 + 4 + 4;
// Policy, whether there are previous prices, and those two prices.
constexpr std::size_t kPolicyBytes = 4 + 4 + 8 + 8;
constexpr std::size_t kChecksumBytes = 4;

struct Counter {
  std::size_t bytes = 0;
  constexpr void Doubles(const double*, int count) { bytes += 8 * static_cast<std::size_t>(count); }
  constexpr void NeverNaN(double) { bytes += 8; }
  constexpr void Position(std::int32_t, int) { bytes += 4; }
  constexpr void Derived(bool&) {}
};

constexpr std::size_t StateBytes() {
  TamselChart_Stream stream{};
  Counter counter;
  stream.indicators.VisitState(counter);
  return counter.bytes;
}

constexpr std::size_t kSnapshotBytes = kHeaderBytes + StateBytes() + kPolicyBytes + kChecksumBytes;
static_assert(kSnapshotBytes <= TAMSELCHART_SNAPSHOT_MAX_BYTES);

struct Writer {
  ByteWriter& out;
  void Doubles(const double* values, int count) {
    for (int i = 0; i < count; ++i) out.F64(values[i]);
  }
  void NeverNaN(double value) { out.F64(value); }
  void Position(std::int32_t value, int /*limit*/) { out.I32(value); }
  void Derived(bool&) {}
};

// Reads the state as Writer wrote it, noting whatever no stream can hold.
struct Reader {
  ByteReader& in;
  bool reachable = true;
  void Doubles(double* values, int count) {
    for (int i = 0; i < count; ++i) {
      values[i] = in.F64();
      reachable = reachable && IsWritten(values[i]);
    }
  }
  void NeverNaN(double& value) {
    value = in.F64();
    reachable = reachable && !std::isnan(value);
  }
  // An index into a ring or a pair of records: out of range, it would read
  // outside the state on the next push.
  void Position(std::int32_t& value, int limit) {
    value = in.I32();
    reachable = reachable && value >= 0 && value < limit;
  }
  // What a stage keeps only to save work is taken again from what was read.
  void Derived(bool& known) { known = false; }
};

// A loop rather than memcmp: the DLLs import no more of the C runtime than
// they must, and this compares a few kilobytes once per load.
bool SameBytes(const unsigned char* a, const unsigned char* b, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

void Encode(TamselChart_Stream stream, ByteWriter& out) {
  out.Bytes(kMagic, sizeof kMagic);
  out.U32(kFormat);
  out.U16(TAMSELCHARTS_VERSION_MAJOR);
  out.U16(TAMSELCHARTS_VERSION_MINOR);
  out.U16(TAMSELCHARTS_VERSION_PATCH);
  out.U16(0);
  out.U32(static_cast<std::uint32_t>(kSnapshotBytes));
  out.I32(stream.indicators.engine.BarNumberState());
  Writer writer{out};
  stream.indicators.VisitState(writer);
  out.I32(stream.missing.policy);
  out.I32(stream.missing.hasPrevious ? 1 : 0);
  out.F64(stream.missing.high);
  out.F64(stream.missing.low);
}

// Where the rings and the record pair of a stream stand after bar: each
// moves one step a bar (the records from the filter bank's first bar on).
// A stream whose bar number has reached its ceiling no longer says.
bool PositionsAgreeWithBar(TamselChart_Stream& stream, std::int32_t bar) {
  if (bar == INT32_MAX) return true;
  struct Positions {
    std::int32_t found[3];
    int next = 0;
    void Doubles(double*, int) {}
    void NeverNaN(double&) {}
    void Position(std::int32_t value, int) { found[next++] = value; }
    void Derived(bool&) {}
  } positions{};
  stream.indicators.VisitState(positions);
  const std::int32_t bankBars = bar >= 13 ? bar - 12 : 0;
  const std::int32_t recordSlot = bankBars & 1;
  const std::int32_t swingNewest = bar == 0 ? 50 : (bar - 1) % 51;
  const std::int32_t trendNewest = bar & 1023;
  return positions.next == 3 && positions.found[0] == recordSlot && positions.found[1] == swingNewest &&
         positions.found[2] == trendNewest;
}

int Decode(const unsigned char* bytes, std::size_t size, TamselChart_Stream& stream) {
  const std::size_t marked = size < sizeof kMagic ? size : sizeof kMagic;
  if (size == 0 || !SameBytes(bytes, kMagic, marked)) return TAMSELCHART_SNAPSHOT_NOT_A_SNAPSHOT;
  if (size < kHeaderBytes) return TAMSELCHART_SNAPSHOT_TOO_SHORT;
  ByteReader in(bytes + sizeof kMagic);
  if (in.U32() != kFormat) return TAMSELCHART_SNAPSHOT_UNKNOWN_FORMAT;
  for (int part = 0; part < 3; ++part) in.U16();  // the version that wrote it: any reads the same
  const std::uint16_t zero = in.U16();
  const std::uint32_t stated = in.U32();
  if (size < stated) return TAMSELCHART_SNAPSHOT_TOO_SHORT;
  if (stated != kSnapshotBytes || size != kSnapshotBytes) return TAMSELCHART_SNAPSHOT_DAMAGED;
  ByteReader checksum(bytes + kSnapshotBytes - kChecksumBytes);
  if (Crc32c(bytes, kSnapshotBytes - kChecksumBytes) != checksum.U32()) return TAMSELCHART_SNAPSHOT_DAMAGED;

  // Every writer of this format leaves the field after the version zero.
  if (zero != 0) return TAMSELCHART_SNAPSHOT_UNREACHABLE;
  const std::int32_t bar = in.I32();
  stream.indicators.engine.BarNumberState() = bar;
  Reader reader{in};
  stream.indicators.VisitState(reader);
  const std::int32_t policy = in.I32();
  const std::int32_t hasPrevious = in.I32();
  const double high = in.F64();
  const double low = in.F64();
  stream.missing.policy = policy;
  stream.missing.hasPrevious = hasPrevious == 1;
  stream.missing.high = static_cast<float>(high);
  stream.missing.low = static_cast<float>(low);

  // The prices a stream remembers are floats, widened exactly (a NaN as the
  // snapshot's one NaN, or saving the loaded stream would give other
  // bytes), and it has some exactly when it has had a bar.
  const auto widened = [](double x, float f) {
    const double back = f;
    return std::isnan(x) ? IsWritten(x) : std::memcmp(&back, &x, sizeof x) == 0;
  };
  bool reachable = reader.reachable && bar >= 0 && IsMissingPolicy(policy) && hasPrevious == (bar > 0 ? 1 : 0) &&
                   widened(high, stream.missing.high) && widened(low, stream.missing.low) &&
                   PositionsAgreeWithBar(stream, bar);
  // Before its first bar a stream holds nothing but zeros.
  if (reachable && bar == 0) {
    TamselChart_Stream fresh{};
    fresh.missing.policy = policy;
    unsigned char expected[kSnapshotBytes];
    ByteWriter out(expected, sizeof expected);
    Encode(fresh, out);
    reachable = SameBytes(expected, bytes, kSnapshotBytes - kChecksumBytes);
  }
  return reachable ? TAMSELCHART_SNAPSHOT_OK : TAMSELCHART_SNAPSHOT_UNREACHABLE;
}

}  // namespace
}  // namespace tamsel::snapshot

using namespace tamsel;

extern "C" {

// Saving widens the remembered prices to doubles and loading narrows them
// back, which raises flags (invalid for a signalling NaN) that a host with
// unmasked exceptions would trap on: both run in the library's environment
// like every other entry point.
int TAMSELCHART_CALL TamselChart_StreamSave(const TamselChart_Stream* stream, unsigned char* buffer, int capacity) {
  const FloatEnvironmentGuard guard;
  if (stream == nullptr) return 0;
  constexpr std::size_t size = snapshot::kSnapshotBytes;
  if (buffer != nullptr && capacity >= 0 && static_cast<std::size_t>(capacity) >= size) {
    snapshot::ByteWriter out(buffer, size);
    snapshot::Encode(*stream, out);
    snapshot::ByteWriter checksum(buffer + out.Used(), snapshot::kChecksumBytes);
    checksum.U32(snapshot::Crc32c(buffer, out.Used()));
  }
  return static_cast<int>(size);
}

TamselChart_Stream* TAMSELCHART_CALL TamselChart_StreamLoad(const unsigned char* bytes, int size, int* reason) {
  const FloatEnvironmentGuard guard;
  const auto answer = [reason](int why) {
    if (reason != nullptr) *reason = why;
  };
  if (size < 0 || (bytes == nullptr && size != 0)) {
    answer(TAMSELCHART_SNAPSHOT_TOO_SHORT);
    return nullptr;
  }
  void* block = AllocateAligned(sizeof(TamselChart_Stream), alignof(TamselChart_Stream));
  if (block == nullptr) {
    answer(TAMSELCHART_SNAPSHOT_OUT_OF_MEMORY);
    return nullptr;
  }
  TamselChart_Stream* stream = new (block) TamselChart_Stream{};
  const int why = snapshot::Decode(bytes, static_cast<std::size_t>(size), *stream);
  answer(why);
  if (why == TAMSELCHART_SNAPSHOT_OK) return stream;
  FreeAligned(stream);
  return nullptr;
}

const char* TAMSELCHART_CALL TamselChart_SnapshotProblemText(int reason) {
  switch (reason) {
    case TAMSELCHART_SNAPSHOT_OK:
      return "a snapshot of a TamselCharts stream";
    case TAMSELCHART_SNAPSHOT_TOO_SHORT:
      return "too short for a snapshot of a TamselCharts stream: cut off";
    case TAMSELCHART_SNAPSHOT_NOT_A_SNAPSHOT:
      return "not a snapshot of a TamselCharts stream";
    case TAMSELCHART_SNAPSHOT_UNKNOWN_FORMAT:
      return "a snapshot in a format this version of TamselCharts does not read (made by a newer version?)";
    case TAMSELCHART_SNAPSHOT_DAMAGED:
      return "a damaged snapshot: its checksum or its size does not match its bytes";
    case TAMSELCHART_SNAPSHOT_UNREACHABLE:
      return "a snapshot whose state no stream can be in (written by other software, or changed)";
    case TAMSELCHART_SNAPSHOT_OUT_OF_MEMORY:
      return "out of memory for the stream";
    default:
      return "unknown snapshot problem";
  }
}

}  // extern "C"
