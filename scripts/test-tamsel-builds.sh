#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The tamsel builds that carry no dependency with them:
#   1. tamsel.exe for 64-bit Windows (preset tamsel-win64, MinGW-w64, static):
#      checked to import only Windows' own DLLs, run through the CLI test
#      table under Wine (the POSIX-only cases skipped, the Windows ones
#      added), compared byte for byte with the native tool on the sample, and
#      zipped with the licence into build/tamsel-win64/tamsel-VERSION-win64.zip;
#   2. a static tamsel for x86-64 Linux (preset tamsel-static) and for 64-bit
#      Arm Linux (preset tamsel-static-aarch64, clang-14 cross build): checked
#      by `file` to be statically linked for GNU/Linux 3.2.0 (AArch64: 3.7.0,
#      the first kernel that runs it at all), run on the sample (AArch64 under
#      qemu-aarch64-static with no -L, so with no loader or library of the
#      target at hand) and compared byte for byte with the native tool; the
#      CLI test table runs against the x86-64 one.
# Wine's prefix is made once under build/tamsel-win64/wine-prefix (about two
# minutes the first time) and reused.  Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/lib/packages.sh
ensure_core_packages
ensure_packages 'g++-mingw-w64-x86-64-posix=12.2.*' 'binutils-mingw-w64-x86-64=2.40*' 'wine64=8.0*' \
  'clang-14=1:14.0.*' 'qemu-user-static=1:7.2*' 'binutils-aarch64-linux-gnu=2.40*' 'libc6-dev-arm64-cross=2.36*' \
  'libstdc++-12-dev-arm64-cross=12.2.*' 'libgcc-12-dev-arm64-cross=12.2.*' 'file=1:5.44*' 'zip=3.0*'

jobs=$(($(nproc) < 2 ? $(nproc) : 2))
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
sample=data/sample-daily.csv
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

echo "== native tamsel and the reference helper (build/release)"
[ -f build/release/CMakeCache.txt ] || cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs" --target tamsel tamsel_cli_reference >/dev/null
native=build/release/tools/tamsel/tamsel
"$native" "$sample" >"$scratch/native.csv"
cli_test() {
  python3 tools/tamsel/tests/cli_test.py --tamsel "$1" --reference build/release/tools/tamsel/tests/tamsel_cli_reference \
    --sample "$sample" --cases tests/data/missing_policy_cases.txt "${@:2}"
}

echo "== static tamsel for x86-64 Linux (build/tamsel-static)"
cmake --preset tamsel-static >/dev/null
cmake --build --preset tamsel-static -j "$jobs" >/dev/null
static=build/tamsel-static/tools/tamsel/tamsel
description=$(file -L "$static")
[[ $description == *"statically linked"* && $description == *"x86-64"* ]] || fail "$description"
[[ $description == *"for GNU/Linux 3.2.0"* ]] || fail "not for any kernel from 3.2 on: $description"
"$static" "$sample" | cmp - "$scratch/native.csv" || fail "static x86-64 tamsel differs from the native one"
cli_test "$root/$static" Dialects Values Errors Messages Order Bars Policy Warmup Dates Names State Parallel

echo "== static tamsel for 64-bit Arm Linux (build/tamsel-static-aarch64)"
cmake --preset tamsel-static-aarch64 >/dev/null
cmake --build --preset tamsel-static-aarch64 -j "$jobs" >/dev/null
arm=build/tamsel-static-aarch64/tools/tamsel/tamsel
description=$(file -L "$arm")
[[ $description == *"statically linked"* && $description == *"ARM aarch64"* ]] || fail "$description"
[[ $description == *"for GNU/Linux 3.7.0"* ]] || fail "not for any AArch64 kernel: $description"
# No -L: a program that needed the target's loader would not start.
qemu-aarch64-static "$arm" "$sample" | cmp - "$scratch/native.csv" || fail "static AArch64 tamsel differs"

echo "== tamsel.exe for 64-bit Windows (build/tamsel-win64)"
cmake --preset tamsel-win64 >/dev/null
cmake --build --preset tamsel-win64 -j "$jobs" >/dev/null
exe=build/tamsel-win64/tools/tamsel/tamsel.exe
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
for dll in $imports; do
  case $dll in
    kernel32.dll | msvcrt.dll | shell32.dll | user32.dll | advapi32.dll) ;;
    *) fail "tamsel.exe needs $dll, which Windows does not bring" ;;
  esac
done
echo "tamsel.exe imports only: $(echo $imports)"

wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEPREFIX=$root/build/tamsel-win64/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "(creating Wine's prefix $WINEPREFIX, once)"
  "$wine" wineboot --init >/dev/null 2>&1
fi
"$wineserver" -p 60 || true  # one server for every run below, gone a minute after the last (or one running already)
"$wine" "$exe" "$sample" | cmp - "$scratch/native.csv" || fail "tamsel.exe differs from the native tamsel"
cli_test "$wine $root/$exe" Dialects Values Errors Messages Order Bars Policy Warmup Dates Names State WindowsTargets Parallel

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/tamsel-win64/CMakeCache.txt)
archive=build/tamsel-win64/tamsel-$version-win64.zip
rm -f "$archive"
mkdir -p "$scratch/zip"
cp "$exe" "$scratch/zip/tamsel.exe"
cp LICENSE "$scratch/zip/LICENSE.txt"
touch -d '2000-01-01 00:00:00' "$scratch/zip/"*  # the same bytes for the same program
(cd "$scratch/zip" && zip -q -X "$root/$archive" tamsel.exe LICENSE.txt)
echo "tamsel builds: OK ($archive, $static, $arm)"
