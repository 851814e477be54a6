// SPDX-License-Identifier: MIT
// libFuzzer entry point for the snapshot loader (snapshot_checks.hpp), built
// three ways: TAMSEL_SNAPSHOT_FUZZ_RECOMPUTE=0 loads the bytes as given,
// =1 recomputes the checksum first so the fuzzer reaches the state checks,
// and the replay program (=2) runs every input both ways.
#include <cstddef>
#include <cstdint>

#include "snapshot_checks.hpp"

#ifndef TAMSEL_SNAPSHOT_FUZZ_RECOMPUTE
#define TAMSEL_SNAPSHOT_FUZZ_RECOMPUTE 2
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tamsel::fuzz::SnapshotChecksum;
  if (TAMSEL_SNAPSHOT_FUZZ_RECOMPUTE != 1) tamsel::fuzz::CheckSnapshot(data, size, SnapshotChecksum::AsGiven);
  if (TAMSEL_SNAPSHOT_FUZZ_RECOMPUTE != 0) tamsel::fuzz::CheckSnapshot(data, size, SnapshotChecksum::Recomputed);
  return 0;
}
