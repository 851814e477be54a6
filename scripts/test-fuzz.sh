#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The fuzzing part of the test command, run by scripts/test.sh:
#   1. builds the libFuzzer targets (clang, AddressSanitizer and
#      UndefinedBehaviorSanitizer; preset `fuzz`, build/fuzz),
#   2. replays each committed corpus (fuzz/corpus/<target>) and then fuzzes
#      each target for TAMSEL_FUZZ_SECONDS (default 30; longer runs by hand) from that corpus;
#      the snapshot loader's two targets share fuzz/corpus/snapshot, the one
#      that takes the bytes as given (mostly refused before the state is
#      read) fuzzing for half that time,
#   3. replays the library corpus, this run's new inputs and the golden
#      series (as fuzz inputs, scripts/lib/digests.sh) in a gcc build under
#      every kernel build the processor runs (TAMSELCHARTS_SIMD) and
#      compares the outputs and snapshot bytes input by input with the clang
#      build's, whose golden output digests must be those of the frozen
#      outputs; the snapshot corpus and this run's new snapshot inputs the
#      same way,
#   4. builds the library and the replay programs for 32-bit x86 Linux (gcc
#      -m32 with SSE2 doubles, build/i386), replays the committed corpora
#      there under qemu-i386-static and compares the results with the
#      64-bit build's.
# New inputs the fuzzer finds stay in build/fuzz/work; a crash leaves its
# input there too (build/fuzz/work/<target>-crash-*) and fails the script.
# A longer run is described in docs/hardening.md.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
source scripts/lib/digests.sh
ensure_core_packages
ensure_packages 'clang-14=1:14.0.*' 'libclang-rt-14-dev=1:14.0.*' 'gcc-multilib=4:12.*' 'g++-multilib=4:12.*' \
  'qemu-user-static=1:7.2*'

seconds=${TAMSEL_FUZZ_SECONDS:-30}
jobs=${TAMSEL_BUILD_JOBS:-2}
targets=(library csv snapshot)
fuzz_targets=(library csv snapshot snapshot_state)

# replay BINARY LOG CORPUS... [with a runner prefix in $runner]: one line per
# input on stdout ("name: digest ... ok"), progress and failures in LOG.
runner=()
replay() {
  local binary=$1 log=$2
  shift 2
  if ! TAMSEL_FUZZ_PRINT_DIGEST=1 "${runner[@]}" "$binary" "$@" 2>"$log"; then
    tail -n 30 "$log" >&2
    echo "replay of $* by $binary failed" >&2
    return 1
  fi
}

echo "-- building the fuzz targets (build/fuzz)"
cmake --preset fuzz --fresh >/dev/null
cmake --build --preset fuzz -j "$jobs"
cmake --build build/fuzz -j "$jobs" --target tamsel_fuzz_snapshot tamsel_fuzz_snapshot_state tamsel_replay_snapshot

work=build/fuzz/work
rm -rf "$work"
mkdir -p "$work"
for target in "${targets[@]}"; do
  echo "-- $target: replaying fuzz/corpus/$target"
  replay "build/fuzz/fuzz/tamsel_replay_$target" "$work/$target-replay.log" "fuzz/corpus/$target" \
    >"$work/$target-replay.txt"
  echo "$(wc -l <"$work/$target-replay.txt") inputs passed"
done
for target in "${fuzz_targets[@]}"; do
  corpus=fuzz/corpus/${target%_state}
  time=$seconds
  [ "$target" = snapshot ] && time=$(((seconds + 1) / 2))
  echo "-- $target: fuzzing for ${time}s"
  mkdir -p "$work/$target"
  if ! "build/fuzz/fuzz/tamsel_fuzz_$target" -max_total_time="$time" -timeout=30 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$work/$target-" "$work/$target" "$corpus" \
      >"$work/$target.log" 2>&1; then
    grep -v '^replay' "$work/$target.log" | tail -n 60
    echo "fuzz target $target failed; the input is in $work/$target-*" >&2
    exit 1
  fi
  grep -E '^#[0-9]+[[:space:]]+DONE' "$work/$target.log" | tail -n 1 || true
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)' "$work/$target.log"
done

# The clang build above compiles the avx512 kernel without AVX-512 (see
# docs/hardening.md), so the kernel builds are compared in a gcc build, also
# under AddressSanitizer and UndefinedBehaviorSanitizer, against the clang
# build's outputs.
echo "-- building the gcc replay programs (build/fuzz-gcc)"
cmake -S . -B build/fuzz-gcc -G Ninja --fresh -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMSEL_WARNINGS_AS_ERRORS=ON -DTAMSEL_SANITIZE=address,undefined \
  -DTAMSEL_BUILD_TESTS=OFF -DTAMSEL_BUILD_TOOLS=OFF -DTAMSEL_BUILD_FUZZERS=ON >/dev/null
cmake --build build/fuzz-gcc -j "$jobs" --target tamsel_replay_library tamsel_replay_snapshot
echo "-- library: the same outputs and snapshots from every kernel build and both compilers"
prepare_digest_inputs "$work"
replay build/fuzz/fuzz/tamsel_replay_library "$work/library-clang.log" fuzz/corpus/library "$work/library" \
  "$work/golden" >"$work/library-clang.txt"
digest_lines <"$work/library-clang.txt" >"$work/library-clang-sorted.txt"
check_golden_digests "the clang build" "$work/library-clang-sorted.txt" "$work"
echo "clang: the golden series give the frozen outputs' digests"
simd_targets=(baseline)
if grep -qw avx2 /proc/cpuinfo; then simd_targets+=(avx2); fi
if grep -qw avx512f /proc/cpuinfo; then simd_targets+=(avx512); fi
# same_as_clang NAME WHAT CORPUS...: gcc's replay program NAME, run with each
# kernel, prints what clang's printed into $work/NAME-clang.txt.
same_as_clang() {
  local name=$1 what=$2
  shift 2
  for simd in "${simd_targets[@]}"; do
    TAMSELCHARTS_SIMD=$simd replay "build/fuzz-gcc/fuzz/tamsel_replay_$name" "$work/$name-gcc-$simd.log" "$@" \
      >"$work/$name-gcc-$simd.txt"
    if ! cmp -s "$work/$name-clang.txt" "$work/$name-gcc-$simd.txt"; then
      diff "$work/$name-clang.txt" "$work/$name-gcc-$simd.txt" | head -n 20 >&2
      echo "gcc's $simd kernel build gives other $what than the clang build" >&2
      exit 1
    fi
    echo "gcc $simd: $(wc -l <"$work/$name-gcc-$simd.txt") inputs, the same $what as the clang build"
  done
}
same_as_clang library "outputs and snapshots" fuzz/corpus/library "$work/library" "$work/golden"
echo "-- snapshot: the same loads from every kernel build and both compilers"
replay build/fuzz/fuzz/tamsel_replay_snapshot "$work/snapshot-clang.log" fuzz/corpus/snapshot "$work/snapshot" \
  "$work/snapshot_state" >"$work/snapshot-clang.txt"
same_as_clang snapshot "snapshot outcomes" fuzz/corpus/snapshot "$work/snapshot" "$work/snapshot_state"

echo "-- building the 32-bit replay programs (build/i386)"
cmake -S . -B build/i386 -G Ninja --fresh -DCMAKE_TOOLCHAIN_FILE=fuzz/i386-linux-toolchain.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMSEL_WARNINGS_AS_ERRORS=ON -DTAMSEL_BUILD_TESTS=OFF \
  -DTAMSEL_BUILD_TOOLS=OFF -DTAMSEL_BUILD_FUZZERS=ON >/dev/null
cmake --build build/i386 -j "$jobs" --target "${targets[@]/#/tamsel_replay_}"
runner=(qemu-i386-static)
# Emulated, the replays take minutes (QEMU's AVX2 most of all), so they run
# two at a time, one per core of the test machine: the library corpus in two
# halves of its sorted files (the order a replay prints them in), beside
# them the golden series under both kernels and the other corpora.
# in_background NAME COMMAND...: runs it, its status in $work/NAME.status.
background_jobs=()
in_background() {
  local name=$1
  shift
  background_jobs+=("$name")
  ("$@" && echo 0 >"$work/$name.status" || echo 1 >"$work/$name.status") &
}
mapfile -t library_files < <(find fuzz/corpus/library -maxdepth 1 -type f | LC_ALL=C sort)
half=$(((${#library_files[@]} + 1) / 2))
in_background library-i386-1 replay build/i386/fuzz/tamsel_replay_library "$work/library-i386-1.log" \
  "${library_files[@]:0:half}" >"$work/library-i386-1.txt"
in_background library-i386-2 replay build/i386/fuzz/tamsel_replay_library "$work/library-i386-2.log" \
  "${library_files[@]:half}" >"$work/library-i386-2.txt"
# The corpus runs with the kernel the emulated processor allows (QEMU 7.2
# emulates AVX2, not AVX-512); the golden series run under both.
for simd in baseline avx2; do
  TAMSELCHARTS_SIMD=$simd in_background "golden-i386-$simd" replay build/i386/fuzz/tamsel_replay_library \
    "$work/golden-i386-$simd.log" "$work/golden" >"$work/golden-i386-$simd-replay.txt"
done
for target in csv snapshot; do
  in_background "$target-i386" replay "build/i386/fuzz/tamsel_replay_$target" "$work/$target-i386.log" \
    "fuzz/corpus/$target" >"$work/$target-i386.txt"
done
wait
for job in "${background_jobs[@]}"; do
  if [ "$(cat "$work/$job.status")" != 0 ]; then
    echo "the 32-bit replay $job failed (its log: $work/$job.log)" >&2
    exit 1
  fi
done
cat "$work/library-i386-1.txt" "$work/library-i386-2.txt" >"$work/library-i386.txt"
for simd in baseline avx2; do
  digest_lines <"$work/golden-i386-$simd-replay.txt" >"$work/golden-i386-$simd.txt"
  check_golden_digests "the 32-bit build ($simd)" "$work/golden-i386-$simd.txt" "$work"
done
echo "the golden series on 32-bit x86, baseline and avx2 kernels: the frozen outputs' digests"
for target in "${targets[@]}"; do
  if ! cmp -s "$work/$target-replay.txt" "$work/$target-i386.txt"; then
    diff "$work/$target-replay.txt" "$work/$target-i386.txt" | head -n 20 >&2
    echo "$target: the 32-bit build gives other results than the 64-bit build" >&2
    exit 1
  fi
  echo "$target: $(wc -l <"$work/$target-i386.txt") inputs passed on 32-bit x86 under qemu-i386-static," \
    "the same results as the 64-bit build"
done
echo "Fuzzing passed."
