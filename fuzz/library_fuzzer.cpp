// SPDX-License-Identifier: MIT
// libFuzzer entry point for the library: any bytes become a series (see
// DecodeBars) that every export, the all-in-one pass and the stream must
// handle identically and within each indicator's range.
//
// With TAMSEL_FUZZ_PRINT_DIGEST set (the replay program under test-fuzz.sh)
// each input also prints the digests of its outputs and of its stream's
// snapshots, so that replays under each kernel build and on 32-bit x86 can
// be compared input by input.
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "library_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool printDigest = std::getenv("TAMSEL_FUZZ_PRINT_DIGEST") != nullptr;
  const auto digests = tamsel::fuzz::CheckLibrary(tamsel::fuzz::DecodeBars(data, size));
  if (printDigest) std::printf("digest %016" PRIx64 " snapshot %016" PRIx64 " ", digests.outputs, digests.snapshots);
  return 0;
}
