// SPDX-License-Identifier: MIT
// The byte level of a snapshot: little-endian integers and IEEE doubles
// written and read one byte at a time, whatever the host's byte order, and
// the CRC-32C that closes every snapshot.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tamsel::snapshot {

// The NaN a snapshot holds for every NaN of the state.
inline constexpr std::uint64_t kNaNBits = 0x7FF8000000000000ULL;

// A double a snapshot can hold: any number, or that one NaN.
inline bool IsWritten(double v) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  return v == v || bits == kNaNBits;
}

class ByteWriter {
 public:
  ByteWriter(unsigned char* out, std::size_t size) : out_(out), size_(size) {}

  void Bytes(const void* data, std::size_t n) {
    if (out_ != nullptr && used_ + n <= size_) std::memcpy(out_ + used_, data, n);
    used_ += n;
  }
  void U16(std::uint16_t v) { Little(v, 2); }
  void U32(std::uint32_t v) { Little(v, 4); }
  void I32(std::int32_t v) { Little(static_cast<std::uint32_t>(v), 4); }
  // Every NaN as the one quiet NaN: builds disagree about which NaN an
  // operation on NaNs gives (its sign, which operand's payload), and no
  // later bar depends on it, so the bytes stay the same on every build.
  void F64(double v) {
    std::uint64_t bits = kNaNBits;
    if (v == v) std::memcpy(&bits, &v, sizeof bits);
    Little(bits, 8);
  }
  std::size_t Used() const { return used_; }

 private:
  void Little(std::uint64_t v, int n) {
    unsigned char bytes[8];
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(bytes, &v, sizeof bytes);  // the same bytes, without the shifts
    } else {
      for (int i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(v >> (8 * i));
    }
    Bytes(bytes, static_cast<std::size_t>(n));
  }

  unsigned char* out_;  // null: only counting
  std::size_t size_;
  std::size_t used_ = 0;
};

// Reads what ByteWriter wrote; the caller has checked the length first.
class ByteReader {
 public:
  explicit ByteReader(const unsigned char* in) : in_(in) {}

  std::uint16_t U16() { return static_cast<std::uint16_t>(Little(2)); }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Little(4)); }
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
  double F64() {
    const std::uint64_t bits = Little(8);
    double v = 0.0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }
  std::size_t Used() const { return used_; }

 private:
  std::uint64_t Little(int n) {
    std::uint64_t v = 0;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(&v, in_ + used_, static_cast<std::size_t>(n));  // the low n bytes, as the shifts would place them
    } else {
      for (int i = 0; i < n; ++i) v |= static_cast<std::uint64_t>(in_[used_ + static_cast<std::size_t>(i)]) << (8 * i);
    }
    used_ += static_cast<std::size_t>(n);
    return v;
  }

  const unsigned char* in_;
  std::size_t used_ = 0;
};

// CRC-32C (Castagnoli), reflected, as iSCSI and ext4 use it: it finds every
// error of up to 5 bits and every burst of up to 32 bits in a block of this
// size, which is what a cut or flipped file gives.  It is no seal against a
// deliberate change; the loader checks the state itself as well.
std::uint32_t Crc32c(const unsigned char* data, std::size_t size);

}  // namespace tamsel::snapshot
