#!/bin/sh
# SPDX-License-Identifier: MIT
# Copies the TamselCharts C library from the repository around this package
# into src/tamsel/, so that the package (and a tarball made by R CMD build)
# compiles it with R's own toolchain and needs nothing else installed.
#
# The list of sources is read from the library's src/CMakeLists.txt, so a file
# the library's build gains or loses is gained or lost here too:
#   src/tamsel/SOURCES   one library source per line, relative to src/tamsel/:
#                        its path, "always" or "dispatch" (a wide kernel, built
#                        only where the kernels are picked at run time), then
#                        the extra compiler flags CMake gives that one file
#                        ("spectrum/spectrum_kernel_avx2.cpp dispatch -mavx2").
# Every header of the library is copied, the repository's golden outputs,
# shared missing-price cases, committed stream snapshot and sample data go
# where the tests and examples find them, and the package's version in DESCRIPTION is set to the header's.
#
# Usage: tools/stage-library.sh [REPOSITORY]   (default: the folder above the package)
set -eu

package=$(cd "$(dirname "$0")/.." && pwd)
repository=$(cd "${1:-$package/..}" && pwd)
library="$repository/src"
cmake_list="$library/CMakeLists.txt"

for needed in "$cmake_list" "$repository/include/TamselCharts.h" "$repository/tests/golden/golden.bin" \
  "$repository/data/sample-daily.csv" "$repository/tests/data/missing_policy_cases.txt" \
  "$repository/tests/data/snapshot-format-1.bin"; do
  if [ ! -f "$needed" ]; then
    echo "stage-library.sh: $needed is missing; run this from the TamselCharts repository" >&2
    exit 1
  fi
done

# The sources of the library target: `set(TAMSEL_SOURCES ...)` and `list(APPEND
# TAMSEL_SOURCES ...)`, those inside `if(TAMSEL_SIMD_DISPATCH)` being the wide
# kernels, and each file's `set_source_files_properties(... COMPILE_OPTIONS
# "...")`.  Anything Windows-only is added by other commands.
staging="$package/src/tamsel.staging"
rm -rf "$staging"
mkdir -p "$staging/include"
awk '
  function take(text,    n, i, words) {
    n = split(text, words, /[ \t()]+/)
    for (i = 1; i <= n; i++) {
      if (words[i] ~ /\.cpp$/ && !(words[i] in kind)) {
        kind[words[i]] = dispatch ? "dispatch" : "always"
        order[++count] = words[i]
      }
    }
  }
  /^[ \t]*if\([ \t]*TAMSEL_SIMD_DISPATCH[ \t]*\)/ { dispatch = 1 }
  /^[ \t]*endif\(/ { dispatch = 0 }
  /^[ \t]*set\(TAMSEL_SOURCES/ { collecting = 1 }
  /^[ \t]*list\(APPEND TAMSEL_SOURCES/ { collecting = 1 }
  collecting { take($0); if ($0 ~ /\)/) collecting = 0; next }
  /set_source_files_properties\(.*COMPILE_OPTIONS/ {
    line = $0
    sub(/^.*set_source_files_properties\([ \t]*/, "", line)
    file = line; sub(/[ \t].*$/, "", file)
    flag = line; sub(/^.*COMPILE_OPTIONS[ \t]*"?/, "", flag); sub(/"?[ \t]*\).*$/, "", flag)
    gsub(/;/, " ", flag)
    flags[file] = flag
  }
  END {
    if (count == 0) { print "stage-library.sh: no sources found in TAMSEL_SOURCES" > "/dev/stderr"; exit 1 }
    for (i = 1; i <= count; i++) print order[i] " " kind[order[i]] (order[i] in flags ? " " flags[order[i]] : "")
  }
' "$cmake_list" > "$staging/SOURCES"

while read -r source _; do
  if [ ! -f "$library/$source" ]; then
    echo "stage-library.sh: $cmake_list lists $source, which does not exist" >&2
    exit 1
  fi
  mkdir -p "$staging/$(dirname "$source")"
  cp "$library/$source" "$staging/$source"
done < "$staging/SOURCES"

# Every header and included source fragment, wherever it lives.
(cd "$library" && find . -type f \( -name '*.hpp' -o -name '*.h' -o -name '*.inc' \) -print) | while read -r header; do
  mkdir -p "$staging/$(dirname "$header")"
  cp "$library/$header" "$staging/$header"
done
cp "$repository/include/"*.h "$staging/include/"

# An unchanged copy is kept as it is, with the objects compiled from it.
if diff -r -q -x '*.o' "$staging" "$package/src/tamsel" >/dev/null 2>&1; then
  rm -rf "$staging"
else
  rm -rf "$package/src/tamsel"
  mv "$staging" "$package/src/tamsel"
fi

mkdir -p "$package/inst/extdata" "$package/tests/testthat"
cp "$repository/data/sample-daily.csv" "$package/inst/extdata/sample-daily.csv"
cp "$repository/tests/golden/golden.bin" "$package/tests/testthat/golden.bin"
cp "$repository/tests/data/missing_policy_cases.txt" "$package/tests/testthat/missing_policy_cases.txt"
cp "$repository/tests/data/snapshot-format-1.bin" "$package/tests/testthat/snapshot-format-1.bin"

# The header's three version macros are where the project's version is set.
version=$(awk '/^#define TAMSELCHARTS_VERSION_(MAJOR|MINOR|PATCH) / { parts[$2] = $3 }
  END { printf "%s.%s.%s", parts["TAMSELCHARTS_VERSION_MAJOR"], parts["TAMSELCHARTS_VERSION_MINOR"], parts["TAMSELCHARTS_VERSION_PATCH"] }' \
  "$repository/include/TamselCharts.h")
if ! echo "$version" | grep -Eqx '[0-9]+\.[0-9]+\.[0-9]+'; then
  echo "stage-library.sh: no version in $repository/include/TamselCharts.h (got \"$version\")" >&2
  exit 1
fi
if ! grep -qx "Version: $version" "$package/DESCRIPTION"; then
  sed "s/^Version: .*/Version: $version/" "$package/DESCRIPTION" > "$package/DESCRIPTION.staging"
  mv "$package/DESCRIPTION.staging" "$package/DESCRIPTION"
fi

echo "stage-library.sh: staged $(wc -l < "$package/src/tamsel/SOURCES") library sources from $repository, version $version"
