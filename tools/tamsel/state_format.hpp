// SPDX-License-Identifier: MIT
// The bytes of a --state file, a series state in a small container of its
// own around the library's stream snapshot (all numbers little-endian):
//
//   8 bytes  "TAMSELst"
//   u32      format, 1
//   u32      the file's whole size, checksum included
//   u32      number of options, then each as two strings: name, value
//   string   the header row
//   u64      bars so far
//   string   the last bar's time
//   u8       1 when the prices are written with a decimal comma, else 0
//   u32      bits of the last bar's high, then of its low (32-bit floats)
//   string   the library's stream snapshot
//   u32      CRC-32C of every byte before it
//
// A string is a u32 byte count and the bytes.  The size and the checksum
// catch a file cut short or changed; the mark and the format catch another
// kind of file or one from a newer tamsel.
#ifndef TAMSEL_TOOLS_STATE_FORMAT_HPP
#define TAMSEL_TOOLS_STATE_FORMAT_HPP

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "series_state.hpp"

namespace tamsel::cli {

inline constexpr std::uint32_t kStateFormat = 1;
// Far above any real state (the snapshot is at most 16 KiB), so a huge file
// named by mistake is refused before it is read whole.
inline constexpr std::size_t kStateMaxBytes = 1 << 20;

std::vector<unsigned char> encodeState(const SeriesState& state);

// Why bytes are not a state this tool can continue from.
class StateFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws StateFormatError, whose message says what is wrong with the bytes
// ("cut short", "changed since it was written"...).
SeriesState decodeState(const std::vector<unsigned char>& bytes);

// CRC-32C (Castagnoli) of bytes, as iSCSI and ext4 use.
std::uint32_t crc32c(const unsigned char* bytes, std::size_t size);

}  // namespace tamsel::cli

#endif
