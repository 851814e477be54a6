#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The static-analysis part of the test command, run by scripts/test.sh:
# clang-tidy (configuration: .clang-tidy) and cppcheck (options below,
# suppressions: static-analysis/cppcheck-suppressions.txt) over every
# translation unit of the library, tools, tests, fuzz targets and benchmarks,
# from a compilation database in build/tidy; clang-format (.clang-format)
# over every C and C++ source, whose layout must already be its own.  Every finding fails the script,
# except those listed in static-analysis/known-findings.txt, which are
# reported to their owners and shown as "known" until fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_core_packages
ensure_packages 'clang-14=1:14.0.*' 'clang-tidy-14=1:14.0.*' 'clang-format-14=1:14.0.*' 'cppcheck=2.10*' \
  'python3=3.11.*'

jobs=${TAMSEL_BUILD_JOBS:-2}
out=build/tidy
# clang as the compiler, so that every flag in the database means to
# clang-tidy what it means to the compiler.  Nothing is built.
cmake -S . -B "$out" -G Ninja --fresh -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DCMAKE_BUILD_TYPE=Debug -DTAMSEL_BUILD_TESTS=ON -DTAMSEL_BUILD_TOOLS=ON \
  -DTAMSEL_BUILD_BENCHMARKS=ON -DTAMSEL_BUILD_FUZZERS=ON >/dev/null

# The coefficient table is generated (tools/generate_coefficients) and
# checked against the design formulas by the tests; it is not analysed.
generated='src/spectrum/filter_bank_coefficients\.cpp$'

echo "-- clang-tidy"
tidy_rc=0
run-clang-tidy-14 -clang-tidy-binary clang-tidy-14 -p "$out" -j "$jobs" -quiet "^(?!.*$generated).*" \
  >"$out/clang-tidy.log" 2>&1 || tidy_rc=$?

echo "-- cppcheck"
cppcheck_rc=0
mkdir -p "$out/cppcheck"
cppcheck --project="$out/compile_commands.json" --std=c++20 --library=googletest \
  --enable=warning,style,performance,portability --inline-suppr \
  --suppressions-list=static-analysis/cppcheck-suppressions.txt -i src/spectrum/filter_bank_coefficients.cpp \
  --cppcheck-build-dir="$out/cppcheck" -j "$jobs" -q --error-exitcode=1 \
  --template='{file}:{line}:{column}: {severity}: {message} [{id}]' >"$out/cppcheck.log" 2>&1 || cppcheck_rc=$?

echo "-- clang-format"
mapfile -t sources < <(git ls-files '*.c' '*.h' '*.cpp' '*.hpp' '*.inc')
if ! clang-format-14 --dry-run -Werror "${sources[@]}" >"$out/clang-format.log" 2>&1; then
  grep -E '^[^ ].*error:' "$out/clang-format.log" | cut -d: -f1 | sort -u | sed 's/^/  not formatted: /'
  echo "clang-format: run clang-format-14 -i on the files above" >&2
  exit 1
fi
echo "${#sources[@]} files formatted"

echo "-- licence identifiers"
# Every source file names its licence in its first lines (after a #! line).
mapfile -t licensed < <(git ls-files '*.c' '*.h' '*.cpp' '*.hpp' '*.inc' '*.py' '*.sh' '*.cmake' '*CMakeLists.txt' \
  '*.js' '*.mjs' '*.ts' '*.R' | grep -v '^fuzz/corpus/')
unlicensed=()
for file in "${licensed[@]}"; do
  head -n 2 "$file" | grep -q 'SPDX-License-Identifier: MIT' || unlicensed+=("$file")
done
if [ ${#unlicensed[@]} -gt 0 ]; then
  printf '  no SPDX-License-Identifier line: %s\n' "${unlicensed[@]}"
  exit 1
fi
echo "${#licensed[@]} files carry their licence identifier"

python3 static-analysis/triage.py static-analysis/known-findings.txt . \
  "clang-tidy=$out/clang-tidy.log:$tidy_rc" "cppcheck=$out/cppcheck.log:$cppcheck_rc"
echo "Static analysis passed."
