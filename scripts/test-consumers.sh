#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The library as its users get it, from a scratch directory that is removed
# afterwards:
#   1. a configure that finds none of the optional dependencies builds the
#      library alone and says in one line per part what it skipped;
#   2. the lib preset (Unix Makefiles, no Ninja) builds the library and the
#      tool; the static library needs no C++ runtime (nm), the shared one
#      does not load it (NEEDED);
#   3. installed to a prefix that is then moved elsewhere, the library serves
#      a C program through pkg-config (shared; static with -lm alone, its
#      allocations made to fail; fully static), C++17 and C++20 programs
#      through TamselCharts.hpp, and a CMake project through
#      find_package(TamselCharts);
#   4. the Debian packages from CPack, unpacked with dpkg-deb -x into a
#      scratch root, serve the same pkg-config consumer, and their tool runs;
#   5. every version (header, TamselChart_Version(), pkg-config, CMake
#      package, Debian packages, tamsel --version, the Python package) is the
#      header's, and scripts print package chatter on standard error only.
# Every consumer prints the same digest of the four indicators; each must
# print exactly what the first one did.  Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_packages 'cmake=3.25.*' 'make=4.3*' 'g++=4:12.*' 'pkg-config=1.8.*' 'dpkg-dev=1.21.*' 'binutils=2.40*' \
  'libc6-dev=2.36*' 'libfmt-dev=9.1.*' 'libcli11-dev=2.1.*'

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
jobs=${TAMSEL_BUILD_JOBS:-2}
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
warnings=(-Wall -Wextra -Wpedantic -Werror)
version=$(sed -n 's/^#define TAMSELCHARTS_VERSION_[A-Z]* *\([0-9]*\)$/\1/p' include/TamselCharts.h | paste -sd.)
echo "header version: $version"

# ---- 1. nothing optional found ----------------------------------------------
echo "== configure with no optional dependency"
hidden=()
for package in GTest benchmark fmt CLI11 Python3; do hidden+=("-DCMAKE_DISABLE_FIND_PACKAGE_$package=ON"); done
cmake -S . -B "$scratch/bare" -G "Unix Makefiles" "${hidden[@]}" >"$scratch/bare.log" 2>&1 ||
  { cat "$scratch/bare.log"; fail "the library alone does not configure"; }
skipped=$(grep -cE '^-- TamselCharts: (tests|command-line tool|benchmarks) skipped, not found: ' "$scratch/bare.log" || true)
[ "$skipped" -eq 3 ] || { grep TamselCharts "$scratch/bare.log" || true; fail "$skipped of 3 skipped parts reported"; }
grep -q 'add_test\|tamsel_tests' "$scratch/bare/CTestTestfile.cmake" 2>/dev/null && fail "tests configured without GoogleTest"
grep TamselCharts: "$scratch/bare.log"

# ---- 2. the lib preset, as the Debian packages are built --------------------
echo "== lib preset (Unix Makefiles): library and tool"
build=$scratch/build
cmake --preset lib -B "$build" -DCMAKE_INSTALL_PREFIX=/usr -DTAMSEL_BUILD_TOOLS=ON -DTAMSEL_WARNINGS_AS_ERRORS=ON \
  >"$scratch/lib.log" 2>&1 || { cat "$scratch/lib.log"; exit 1; }
grep -q '^CMAKE_GENERATOR:INTERNAL=Unix Makefiles$' "$build/CMakeCache.txt" || fail "the lib preset does not use make"
nice cmake --build "$build" -j "$jobs" >"$scratch/build.log" 2>&1 || { tail -30 "$scratch/build.log"; exit 1; }

stage=$scratch/stage
cmake --install "$build" --prefix "$stage" >/dev/null
libdir=$(cd "$stage" && dirname "$(find . -name libtamselcharts.a)" | sed 's|^\./||')
# The C interface needs nothing from the C++ runtime.
cxx_runtime=$(nm -u "$stage/$libdir/libtamselcharts.a" | awk '{print $2}' |
  grep -E '^(_Zn[wa]|_Zd[la]|_ZSt|_ZNSt|__cxa_|__gxx_|_Unwind_)' | sort -u || true)
[ -z "$cxx_runtime" ] || fail "libtamselcharts.a needs the C++ runtime: $(tr '\n' ' ' <<<"$cxx_runtime")"
needed=$(readelf -d "$stage/$libdir/libtamselcharts.so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
case $needed in
  *libstdc++* | *libgcc_s*) fail "libtamselcharts.so loads the C++ runtime: $needed" ;;
esac
echo "libtamselcharts.a: no C++ runtime symbol; libtamselcharts.so needs: $needed"

# ---- 3. an installed prefix, moved ------------------------------------------
echo "== installed prefix, moved after installation"
prefix=$scratch/moved/prefix
mkdir -p "$scratch/moved"
mv "$stage" "$prefix"
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
grep -q "$stage\|$scratch" "$PKG_CONFIG_PATH/tamselcharts.pc" && fail "tamselcharts.pc names the install directory"
[ "$(pkg-config --modversion tamselcharts)" = "$version" ] || fail "pkg-config version $(pkg-config --modversion tamselcharts)"
static_libs=$(pkg-config --static --libs-only-l tamselcharts | xargs)
[ "$static_libs" = "-ltamselcharts -lm" ] || fail "static link flags: $static_libs"

bin=$scratch/bin
mkdir -p "$bin"
consumers=tests/consumers
pc_cflags=$(pkg-config --cflags tamselcharts)
pc_libs=$(pkg-config --libs tamselcharts)
pc_static_libs=$(pkg-config --static --libs tamselcharts)
c_build() { gcc -std=c99 "${warnings[@]}" -I"$consumers" "$@" || fail "C consumer does not build: gcc $*"; }
# shellcheck disable=SC2086 # the pkg-config flags are words
c_build -o "$bin/c_shared" $consumers/consumer.c $pc_cflags $pc_libs
# The static one also makes the library's allocations fail, through the
# linker's --wrap: every export that allocates must return NULL.
# shellcheck disable=SC2086
c_build -o "$bin/c_static" -DCONSUMER_WRAPS_ALLOCATOR -Wl,--wrap=posix_memalign $consumers/consumer.c $pc_cflags \
  "$prefix/$libdir/libtamselcharts.a" -lm
# shellcheck disable=SC2086
c_build -static -o "$bin/c_fully_static" $consumers/consumer.c $pc_cflags $pc_static_libs
for standard in 17 20; do
  # shellcheck disable=SC2086
  g++ -std=c++$standard "${warnings[@]}" -Wshadow -Wconversion -I"$consumers" -o "$bin/cpp$standard" \
    $consumers/consumer.cpp $pc_cflags $pc_libs || fail "C++$standard consumer does not build"
done
readelf -d "$bin/c_static" | grep -q 'NEEDED.*libtamselcharts' && fail "the static consumer loads the shared library"

# Before C++17 the wrapper stops at once, with one clear line.
# shellcheck disable=SC2086
errors=$(g++ -std=c++14 -fsyntax-only -I"$consumers" $pc_cflags $consumers/consumer.cpp 2>&1 |
  grep -E 'error' | grep -v '^ ' || true)
[[ $(wc -l <<<"$errors") -eq 1 && $errors == *"needs C++17 or later"* ]] || fail "C++14 gives: $errors"

echo "== CMake package"
if ! cmake -S "$consumers" -B "$scratch/cmake-consumer" -G "Unix Makefiles" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_FLAGS="${warnings[*]}" -DCMAKE_CXX_FLAGS="${warnings[*]}" >"$scratch/cmake-consumer.log" 2>&1 ||
  ! cmake --build "$scratch/cmake-consumer" -j "$jobs" >>"$scratch/cmake-consumer.log" 2>&1; then
  tail -30 "$scratch/cmake-consumer.log"
  fail "the CMake consumer does not build"
fi
grep -q "^-- TamselCharts package version $version\$" "$scratch/cmake-consumer.log" || fail "CMake package version"
for program in consumer_c_shared consumer_c_static consumer_cpp17 consumer_cpp20; do
  cp "$scratch/cmake-consumer/$program" "$bin/cmake_${program#consumer_}" 2>/dev/null || true
done
# The CMake static target lets a C program link with the C compiler driver.
c_compiler=$(sed -n 's/^CMAKE_C_COMPILER:[A-Z]*=//p' "$scratch/cmake-consumer/CMakeCache.txt")
link=$(cat "$scratch/cmake-consumer/CMakeFiles/consumer_c_static.dir/link.txt")
[[ $link == "$c_compiler "* ]] || fail "CMake links the static C consumer with: ${link%% *}"

# ---- 4. the Debian packages -------------------------------------------------
echo "== Debian packages, unpacked"
(cd "$build" && cpack -G DEB >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; exit 1; }
debroot=$scratch/debroot
for deb in "$build"/*.deb; do
  name=$(dpkg-deb -f "$deb" Package)
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$name has version $(dpkg-deb -f "$deb" Version)"
  dpkg-deb -c "$deb" | grep -q "/usr/share/doc/$name/copyright\$" || fail "$name carries no copyright file"
  echo "$(basename "$deb"): $name, depends: $(dpkg-deb -f "$deb" Depends)"
  dpkg-deb -x "$deb" "$debroot"
done
packages=$(for deb in "$build"/*.deb; do dpkg-deb -f "$deb" Package; done | sort | tr '\n' ' ')
[ "$packages" = "libtamselcharts-dev libtamselcharts${version%%.*} tamsel " ] || fail "packages: $packages"
dpkg-deb -f "$build"/libtamselcharts-dev_*.deb Depends | grep -q "libtamselcharts${version%%.*} (= $version)" ||
  fail "the development package does not depend on its runtime library"
debdir=$debroot/usr/$(cd "$debroot/usr" && dirname "$(find . -name libtamselcharts.a)" | sed 's|^\./||')
# shellcheck disable=SC2046
c_build -o "$bin/deb_c_shared" $consumers/consumer.c $(PKG_CONFIG_PATH=$debdir/pkgconfig pkg-config --cflags --libs tamselcharts)
tool_version=$("$debroot/usr/bin/tamsel" --version) || fail "the packaged tamsel does not run"
[ "$tool_version" = "tamsel $version" ] || fail "tamsel --version says '$tool_version'"

# ---- the consumers agree ----------------------------------------------------
echo "== every consumer prints the same"
reference=""
for program in "$bin"/*; do
  name=$(basename "$program")
  case $name in deb_*) libpath=$debdir ;; *) libpath=$prefix/$libdir ;; esac
  output=$(LD_LIBRARY_PATH=$libpath "$program" 2>"$scratch/stderr") || fail "$name exits non-zero: $output"
  [ "$(head -2 <<<"$output")" = "$(printf 'version %s\nheader %s' "$version" "$version")" ] ||
    fail "$name reports the version as: $(head -2 <<<"$output" | tr '\n' ' ')"
  if [[ $name == *cpp20 ]]; then grep -q 'std::span overloads used' "$scratch/stderr" || fail "$name used no span"; fi
  if [ "$name" = c_static ]; then
    grep -q 'allocation failures checked' "$scratch/stderr" || fail "$name did not check allocation failures"
  fi
  if [ -z "$reference" ]; then
    reference=$output
    echo "$output"
  elif [ "$output" != "$reference" ]; then
    fail "$name prints something else:"
    diff <(echo "$reference") <(echo "$output") || true
  fi
done
programs=$(cd "$bin" && printf '%s ' *)
echo "$(wc -w <<<"$programs") consumers: $programs"

# ---- 5. versions elsewhere and clean standard output ------------------------
# Every package takes its version from the header: the Python package reads
# it when it is built (no literal), the others are stamped from it by their
# builds, and what they have committed must say the same.
grep -q '^dynamic = \["version"\]' python/pyproject.toml && ! grep -qE '^(version = |__version__ = ")' \
  python/pyproject.toml python/tamselcharts/__init__.py || fail "the Python package writes a version of its own"
package_versions="r/DESCRIPTION $(sed -n 's/^Version: //p' r/DESCRIPTION)
js/package.json $(node -p 'require("./js/package.json").version' 2>/dev/null || sed -n 's/^  "version": "\(.*\)",$/\1/p' js/package.json)
js/package-lock.json $(sed -n '0,/"version"/s/^  "version": "\(.*\)",$/\1/p' js/package-lock.json)
postgres/versions.txt $(tail -n 1 postgres/versions.txt)"
while read -r file said; do
  [ "$said" = "$version" ] || fail "$file says version '$said', the header $version"
done <<<"$package_versions"

# Package installation writes to standard error only: an apt-get that
# chatters on standard output must leave the caller's standard output empty.
if [ "$(id -u)" -eq 0 ]; then
  mkdir -p "$scratch/fake-apt"
  printf '#!/bin/sh\necho "Unpacking chatter ..."\n' >"$scratch/fake-apt/apt-get"
  printf '#!/bin/sh\nexit 1\n' >"$scratch/fake-apt/dpkg-query"
  chmod +x "$scratch/fake-apt/apt-get" "$scratch/fake-apt/dpkg-query"
  chatter=$(PATH=$scratch/fake-apt:$PATH bash -c 'source scripts/lib/packages.sh; ensure_packages "nothing=1"' 2>/dev/null)
  [ -z "$chatter" ] || fail "ensure_packages writes to standard output: $chatter"
fi
# On a machine where the release build is there already (scripts/test.sh
# makes it first), the sample's standard output is the CSV alone.
if [ -x build/release/tools/tamsel/tamsel ]; then
  scripts/run-sample.sh >"$scratch/sample.csv" 2>/dev/null || fail "scripts/run-sample.sh fails"
  rows=$(wc -l <"$scratch/sample.csv")
  if [ "$(head -1 "$scratch/sample.csv" | cut -d, -f1-4)" != "Date,Open,High,Low" ] ||
    [ "$rows" -ne "$(wc -l <data/sample-daily.csv)" ]; then
    fail "scripts/run-sample.sh > file holds more than the CSV ($rows lines; first: $(head -1 "$scratch/sample.csv"))"
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "Consumers: $failures failures"
  exit 1
fi
echo "Consumers: all checks passed."
