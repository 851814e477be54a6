// SPDX-License-Identifier: MIT
// The checks every library fuzz input runs through, shared by the libFuzzer
// target and the replay program (which has no libFuzzer, e.g. the 32-bit
// build).  A failed check prints what differed and aborts, which libFuzzer
// reports as a crash with the input that caused it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_series.h"

namespace tamsel::fuzz {

// The series a fuzz input stands for, and the choices it makes about how the
// calls are made.
struct Bars {
  std::vector<float> high;
  std::vector<float> low;
  // Which outputs the partial all-in-one call leaves NULL (bit 0 cycle period
  // .. bit 3 trend vigor) and after which bar a stream is cloned.
  unsigned nullOutputs = 0;
  int cloneAfter = 0;
  int Count() const { return static_cast<int>(high.size()); }
};

// The longest series an input can ask for: long enough for the trend vigor's
// 1024-bar ring to wrap round more than once.
inline constexpr int kMaxBars = kTamselFuzzMaxBars;
inline constexpr int kShortBars = kTamselFuzzShortBars;

// Input layout (missing bytes read as zero):
//   bytes 0-1  bar count: a little-endian number n; below 0x8000 the count
//              is n modulo kShortBars + 1, else n modulo kMaxBars + 1 (half
//              the inputs stay short, so the fuzzer runs more of them)
//   byte 2     bits 0-1 how the payload becomes prices (see DecodeBars),
//              bits 2-5 the NULL outputs, bits 6-7 where the stream is cloned
//   byte 3...  payload, repeated from its start when the series needs more
// (decoded by fuzz_series.c, which the DLL test hosts share).
Bars DecodeBars(const std::uint8_t* data, std::size_t size);

// What a build prints for an input, so that runs under different kernel
// builds or on another architecture can be compared input by input: the
// digest of the four output series (output_digest.h) and of the stream's
// snapshots (snapshot_digest.h).
struct Digests {
  std::uint64_t outputs = 0;
  std::uint64_t snapshots = 0;
};

// Runs every check on one series; aborts on the first failure.
Digests CheckLibrary(const Bars& bars);

}  // namespace tamsel::fuzz
