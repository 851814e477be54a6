# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# The corpus digests, for comparing builds with each other (sourced by the
# test parts).  Every build replays the same inputs, the committed library
# fuzz corpus (fuzz/corpus/library) and the golden series written as fuzz
# inputs (fuzz/golden_corpus.py), and prints one line per input:
#     <input name>: digest <16 hex digits> ok
# the FNV-1a digest of its four output series (fuzz/output_digest.h).  The
# native builds print them with the fuzz replay program
# (TAMSEL_FUZZ_PRINT_DIGEST=1 tamsel_replay_library), the DLLs with their
# test hosts (--digests).  Two builds agree when their sorted lines are
# identical; the golden lines must also equal those of the frozen outputs.

# prepare_digest_inputs DIR: the golden series as inputs in DIR/golden, and
# the lines their frozen outputs give in DIR/golden-expected.txt.
prepare_digest_inputs() {
  rm -rf "$1/golden"
  python3 fuzz/golden_corpus.py tests/golden/golden.bin "$1/golden" "$1/golden-expected.txt"
}

# digest_lines < OUTPUT: just the digest lines, sorted (Windows hosts end
# their lines with CR LF).
digest_lines() {
  tr -d '\r' | grep -E '^[^ ]+: digest [0-9a-f]{16} snapshot [0-9a-f]{16} ok$' | LC_ALL=C sort || true
}

# native_digests DIR: builds the native replay programs (gcc, Release,
# build/digest-native) and writes their digests over DIR/golden and the
# library corpus to DIR/native.txt, after checking its golden lines, and
# over the snapshot corpus (fuzz/corpus/snapshot) to DIR/native-snapshot.txt.
native_digests() {
  local dir=$1
  cmake -S . -B build/digest-native -G Ninja --fresh -DCMAKE_BUILD_TYPE=Release -DTAMSEL_WARNINGS_AS_ERRORS=ON \
    -DTAMSEL_BUILD_TESTS=OFF -DTAMSEL_BUILD_TOOLS=OFF -DTAMSEL_BUILD_FUZZERS=ON >/dev/null
  cmake --build build/digest-native -j "${TAMSEL_BUILD_JOBS:-2}" --target tamsel_replay_library \
    tamsel_replay_snapshot >/dev/null
  TAMSEL_FUZZ_PRINT_DIGEST=1 build/digest-native/fuzz/tamsel_replay_library fuzz/corpus/library "$dir/golden" \
    2>"$dir/native.log" | digest_lines >"$dir/native.txt"
  check_golden_digests "the native build" "$dir/native.txt" "$dir"
  TAMSEL_FUZZ_PRINT_DIGEST=1 build/digest-native/fuzz/tamsel_replay_snapshot fuzz/corpus/snapshot \
    2>"$dir/native-snapshot.log" | snapshot_lines >"$dir/native-snapshot.txt"
}

# snapshot_lines < OUTPUT: just the snapshot replay's lines, sorted.
snapshot_lines() {
  tr -d '\r' | grep -E '^[^ ]+: as-given [0-9a-f]{16} resealed [0-9a-f]{16} ok$' | LC_ALL=C sort || true
}

# golden_output_lines < LINES: the golden lines with their output digest
# only, as golden_corpus.py writes the frozen outputs' lines.
golden_output_lines() {
  grep '^golden-' | sed -E 's/ snapshot [0-9a-f]{16} ok$/ ok/' || true
}

# check_golden_digests WHAT LINES DIR: the golden lines of LINES have the
# output digests of the frozen outputs.
check_golden_digests() {
  local what=$1 lines=$2 dir=$3
  if ! golden_output_lines <"$lines" | cmp -s - "$dir/golden-expected.txt"; then
    golden_output_lines <"$lines" | diff "$dir/golden-expected.txt" - | head -n 20 >&2
    echo "FAIL: $what does not reproduce the golden outputs" >&2
    return 1
  fi
}

# compare_digests WHAT REFERENCE LINES: LINES must equal REFERENCE and cover
# at least the golden series.
compare_digests() {
  local what=$1 reference=$2 lines=$3
  if [ "$(grep -c '^golden-' "$lines")" -lt 1 ] || ! cmp -s "$reference" "$lines"; then
    diff "$reference" "$lines" | head -n 20 >&2
    echo "FAIL: $what: its corpus digests differ from $reference ($(wc -l <"$lines") lines)" >&2
    return 1
  fi
  echo "$what: the same $(wc -l <"$lines") corpus digests as the native build"
}
