// SPDX-License-Identifier: MIT
#include "state_format.hpp"

#include <array>
#include <bit>
#include <cstring>

namespace tamsel::cli {

namespace {

constexpr std::string_view kMark = "TAMSELst";
constexpr std::size_t kFixed = 8 + 4 + 4;  // mark, format, size
constexpr std::size_t kChecksum = 4;

constexpr std::array<std::uint32_t, 256> crcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? (c >> 1) ^ 0x82F63B78u : c >> 1;
    table[i] = c;
  }
  return table;
}

class Writer {
 public:
  void u8(std::uint8_t v) { bytes_.push_back(v); }
  void u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<unsigned char>(v >> (8 * i)));
  }
  void u64(std::uint64_t v) {
    u32(static_cast<std::uint32_t>(v));
    u32(static_cast<std::uint32_t>(v >> 32));
  }
  template <typename Bytes>
  void string(const Bytes& text) {
    u32(static_cast<std::uint32_t>(text.size()));
    bytes_.insert(bytes_.end(), text.begin(), text.end());
  }
  std::vector<unsigned char>& bytes() { return bytes_; }

 private:
  std::vector<unsigned char> bytes_;
};

// Reads the fields in order; running past the end means the sizes inside
// disagree with the file, which the checksum would have caught unless the
// file was written that way.
class Reader {
 public:
  Reader(const unsigned char* bytes, std::size_t size) : at_(bytes), end_(bytes + size) {}
  std::uint8_t u8() { return *take(1); }
  std::uint32_t u32() {
    const unsigned char* p = take(4);
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
  }
  std::uint64_t u64() {
    const std::uint64_t low = u32();
    return low | static_cast<std::uint64_t>(u32()) << 32;
  }
  std::string string() {
    const std::uint32_t size = u32();
    const unsigned char* p = take(size);
    return std::string(reinterpret_cast<const char*>(p), size);
  }
  std::vector<unsigned char> bytes() {
    const std::uint32_t size = u32();
    const unsigned char* p = take(size);
    return std::vector<unsigned char>(p, p + size);
  }
  bool atEnd() const { return at_ == end_; }

 private:
  const unsigned char* take(std::size_t n) {
    if (static_cast<std::size_t>(end_ - at_) < n) throw StateFormatError("its fields run past its end");
    const unsigned char* p = at_;
    at_ += n;
    return p;
  }
  const unsigned char* at_;
  const unsigned char* end_;
};

}  // namespace

std::uint32_t crc32c(const unsigned char* bytes, std::size_t size) {
  static constexpr std::array<std::uint32_t, 256> table = crcTable();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::vector<unsigned char> encodeState(const SeriesState& state) {
  Writer out;
  for (const char c : kMark) out.u8(static_cast<std::uint8_t>(c));
  out.u32(kStateFormat);
  out.u32(0);  // the size, filled in below
  out.u32(static_cast<std::uint32_t>(state.options.size()));
  for (const auto& [name, value] : state.options) {
    out.string(name);
    out.string(value);
  }
  out.string(state.header);
  out.u64(state.bars);
  out.string(state.lastTime);
  out.u8(state.decimalComma ? 1 : 0);
  out.u32(std::bit_cast<std::uint32_t>(state.previousHigh));
  out.u32(std::bit_cast<std::uint32_t>(state.previousLow));
  out.string(state.stream);
  std::vector<unsigned char>& bytes = out.bytes();
  const auto size = static_cast<std::uint32_t>(bytes.size() + kChecksum);
  for (int i = 0; i < 4; ++i) bytes[12 + i] = static_cast<unsigned char>(size >> (8 * i));
  out.u32(crc32c(bytes.data(), bytes.size()));
  return bytes;
}

SeriesState decodeState(const std::vector<unsigned char>& bytes) {
  if (bytes.size() < kMark.size() || std::memcmp(bytes.data(), kMark.data(), kMark.size()) != 0)
    throw StateFormatError("not a tamsel state file (it does not start with one's mark)");
  if (bytes.size() < kFixed + kChecksum) throw StateFormatError("cut short");
  Reader head(bytes.data() + kMark.size(), kFixed - kMark.size());
  const std::uint32_t format = head.u32();
  const std::uint32_t size = head.u32();
  if (format != kStateFormat)
    throw StateFormatError("written in state format " + std::to_string(format) + ", which this tamsel (format " +
                           std::to_string(kStateFormat) + ") does not read");
  if (size > bytes.size()) throw StateFormatError("cut short");
  if (size < bytes.size()) throw StateFormatError("longer than it says it is (something was added to it)");
  Reader checksum(bytes.data() + size - kChecksum, kChecksum);
  if (checksum.u32() != crc32c(bytes.data(), size - kChecksum))
    throw StateFormatError("damaged (its checksum does not match: changed since it was written)");

  Reader in(bytes.data() + kFixed, size - kFixed - kChecksum);
  SeriesState state;
  const std::uint32_t options = in.u32();
  for (std::uint32_t i = 0; i < options; ++i) {
    std::string name = in.string();
    state.options.emplace_back(std::move(name), in.string());
  }
  state.header = in.string();
  state.bars = in.u64();
  state.lastTime = in.string();
  state.decimalComma = in.u8() != 0;
  state.previousHigh = std::bit_cast<float>(in.u32());
  state.previousLow = std::bit_cast<float>(in.u32());
  state.stream = in.bytes();
  if (!in.atEnd()) throw StateFormatError("it holds bytes after its last field");
  if (state.bars == 0) throw StateFormatError("it holds no bars");
  return state;
}

}  // namespace tamsel::cli
