// SPDX-License-Identifier: MIT
// The checks every snapshot fuzz input runs through, shared by the libFuzzer
// targets and the replay program.  Any bytes go to TamselChart_StreamLoad: a
// refusal must give a documented reason with its own sentence; a loaded
// stream must save exactly the bytes it came from and take a few more bars
// (prices from the input's tail, NaN, infinite and huge ones among them)
// with bar numbers advancing and every value NaN or within its indicator's
// range.  A failed check prints what differed and aborts.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tamsel::fuzz {

enum class SnapshotChecksum {
  // The bytes go to the loader as they are: cut, damaged and foreign
  // inputs, refused before the state is read.
  AsGiven,
  // The first snapshot-sized part of the input gets its CRC-32C recomputed
  // before loading, so that the loader's checks of the state itself are
  // fuzzed; the rest of the input gives the prices of the later bars.
  Recomputed,
};

// Returns a digest of the outcome (FNV-1a over the refusal's reason, or over
// the bytes the loaded stream saves after the tail's bars), so that builds
// can be compared input by input.
std::uint64_t CheckSnapshot(const std::uint8_t* data, std::size_t size, SnapshotChecksum checksum);

// CRC-32C (reflected polynomial 0x82F63B78), written here from the format's
// description rather than taken from the library, so the two check each
// other.
std::uint32_t SnapshotCrc32c(const std::uint8_t* data, std::size_t size);

}  // namespace tamsel::fuzz
