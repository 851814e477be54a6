// SPDX-License-Identifier: MIT
// libFuzzer entry point for the snapshot loader (snapshot_checks.hpp), built
// three ways: TAMSEL_SNAPSHOT_FUZZ_RECOMPUTE=0 loads the bytes as given,
// =1 recomputes the checksum first so the fuzzer reaches the state checks,
// and the replay program (=2) runs every input both ways.
//
// With TAMSEL_FUZZ_PRINT_DIGEST set each input also prints the digests of
// its outcomes, so that replays by different builds can be compared.
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "snapshot_checks.hpp"

#ifndef TAMSEL_SNAPSHOT_FUZZ_RECOMPUTE
#define TAMSEL_SNAPSHOT_FUZZ_RECOMPUTE 2
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tamsel::fuzz::CheckSnapshot;
  using tamsel::fuzz::SnapshotChecksum;
  static const bool printDigest = std::getenv("TAMSEL_FUZZ_PRINT_DIGEST") != nullptr;
  if (TAMSEL_SNAPSHOT_FUZZ_RECOMPUTE != 1) {
    const std::uint64_t digest = CheckSnapshot(data, size, SnapshotChecksum::AsGiven);
    if (printDigest) std::printf("as-given %016" PRIx64 " ", digest);
  }
  if (TAMSEL_SNAPSHOT_FUZZ_RECOMPUTE != 0) {
    const std::uint64_t digest = CheckSnapshot(data, size, SnapshotChecksum::Recomputed);
    if (printDigest) std::printf("resealed %016" PRIx64 " ", digest);
  }
  return 0;
}
