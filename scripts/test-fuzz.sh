#!/usr/bin/env bash
# The fuzzing part of the test command, run by scripts/test.sh:
#   1. builds the libFuzzer targets (clang, AddressSanitizer and
#      UndefinedBehaviorSanitizer; preset `fuzz`, build/fuzz),
#   2. replays each committed corpus (fuzz/corpus/<target>) and then fuzzes
#      each target for TAMSEL_FUZZ_SECONDS (default 60) from that corpus,
#   3. builds the library and the replay programs for 32-bit x86 Linux (gcc
#      -m32 with SSE2 doubles, build/i386) and replays the committed corpora
#      there under qemu-i386-static.
# New inputs the fuzzer finds stay in build/fuzz/work; a crash leaves its
# input there too (build/fuzz/work/<target>-crash-*) and fails the script.
# A longer run is described in docs/hardening.md.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_core_packages
ensure_packages 'clang-14=1:14.0.*' 'libclang-rt-14-dev=1:14.0.*' 'gcc-multilib=4:12.*' 'g++-multilib=4:12.*' \
  'qemu-user-static=1:7.2*'

seconds=${TAMSEL_FUZZ_SECONDS:-60}
jobs=${TAMSEL_BUILD_JOBS:-2}
targets=(library)

echo "-- building the fuzz targets (build/fuzz)"
cmake --preset fuzz --fresh >/dev/null
cmake --build --preset fuzz -j "$jobs"

work=build/fuzz/work
rm -rf "$work"
mkdir -p "$work"
for target in "${targets[@]}"; do
  echo "-- $target: replaying fuzz/corpus/$target"
  build/fuzz/fuzz/tamsel_replay_"$target" "fuzz/corpus/$target" 2>"$work/$target-replay.log" ||
    { tail -n 30 "$work/$target-replay.log"; exit 1; }
  echo "-- $target: fuzzing for ${seconds}s"
  mkdir -p "$work/$target"
  if ! build/fuzz/fuzz/tamsel_fuzz_"$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$work/$target-" "$work/$target" "fuzz/corpus/$target" \
      >"$work/$target.log" 2>&1; then
    grep -v '^replay' "$work/$target.log" | tail -n 60
    echo "fuzz target $target failed; the input is in $work/$target-*" >&2
    exit 1
  fi
  grep -E '^#[0-9]+[[:space:]]+DONE' "$work/$target.log" | tail -n 1 || true
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)' "$work/$target.log"
done

echo "-- building the 32-bit replay programs (build/i386)"
cmake -S . -B build/i386 -G Ninja --fresh -DCMAKE_TOOLCHAIN_FILE=fuzz/i386-linux-toolchain.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMSEL_WARNINGS_AS_ERRORS=ON -DTAMSEL_BUILD_TESTS=OFF \
  -DTAMSEL_BUILD_TOOLS=OFF -DTAMSEL_BUILD_FUZZERS=ON >/dev/null
cmake --build build/i386 -j "$jobs" --target "${targets[@]/#/tamsel_replay_}"
for target in "${targets[@]}"; do
  echo "-- $target: replaying fuzz/corpus/$target on 32-bit x86 under qemu-i386-static"
  qemu-i386-static build/i386/fuzz/tamsel_replay_"$target" "fuzz/corpus/$target" 2>"$work/$target-i386.log" ||
    { tail -n 30 "$work/$target-i386.log"; exit 1; }
done
echo "Fuzzing passed."
