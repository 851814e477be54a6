# SPDX-License-Identifier: MIT
# The builds behind the release files; sourced by scripts/release.sh and
# scripts/test-install.sh.  Everything is built on this x86-64 Debian 12
# machine; `cd` to the repository's root first.
#
#   linux_natives ARCH       builds the shared library and a statically linked
#                            tamsel for ARCH (x86_64, i686, aarch64) in
#                            build/wheel-ARCH; prints "LIBRARY TOOL"
#   windows_natives PRESET   builds the win64 or win32 preset (the DLL and the
#                            zip, as scripts/test-windows.sh checks them)
#   windows_tool             builds tamsel.exe for 64-bit Windows (preset
#                            tamsel-win64, as scripts/test-tamsel-builds.sh
#                            checks it); prints its path
#   make_wheel LIBRARY TOOL OUT
#                            the wheel holding those two files (TOOL "none":
#                            no tool), tagged by setup.py from the files
#   linux_wheel ARCH OUT     linux_natives ARCH and its wheel in OUT; prints
#                            the static tamsel's path
#   windows_wheels OUT       both Windows presets and tamsel.exe, and their
#                            wheels in OUT (win_amd64 with tamsel.exe, win32
#                            with the DLL alone: there is no 32-bit build of
#                            the tool); prints tamsel.exe's path
#
# The manylinux2014 wheels need files that ask for glibc 2.17 at most.  The
# library asks for 2.14; the tool as tools/tamsel links it (with the static
# C++ runtime) asks for 2.36, so it is linked here with -static instead.
# A static tamsel built by tools/tamsel itself can take its place: set
# TAMSEL_STATIC_TOOL_<ARCH> (e.g. TAMSEL_STATIC_TOOL_x86_64) to that file.

release_jobs=$(($(nproc) < 2 ? $(nproc) : 2))

# Debian's fmt package describes a 64-bit build and so is refused by a 32-bit
# configure; the tool uses fmt header-only, which fits any width: this config
# file offers the same targets without the width check.
_fmt_for_32_bit() {
  local dir=$1/fmt-any-width
  mkdir -p "$dir"
  printf '%s\n' '# SPDX-License-Identifier: MIT' \
    'include(/usr/lib/x86_64-linux-gnu/cmake/fmt/fmt-targets.cmake)' >"$dir/fmt-config.cmake"
  echo "$dir"
}

linux_natives() {
  local arch=$1 dir=build/wheel-$1
  mkdir -p build
  local options=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DTAMSEL_BUILD_TESTS=OFF -DTAMSEL_BUILD_BENCHMARKS=OFF
    -DTAMSEL_BUILD_TOOLS=ON)
  case $arch in
    x86_64) options+=(-DCMAKE_EXE_LINKER_FLAGS=-static) ;;
    i686)
      # The 32-bit toolchain links programs statically already.
      mkdir -p "$dir"
      options+=(-DCMAKE_TOOLCHAIN_FILE="$PWD/fuzz/i386-linux-toolchain.cmake" -Dfmt_DIR="$(_fmt_for_32_bit "$PWD/$dir")")
      ;;
    aarch64)
      # The cross toolchain finds only the target's libraries; the tool's
      # header-only ones are the build machine's, named here.
      options+=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/aarch64-linux-clang.cmake"
        -DCMAKE_EXE_LINKER_FLAGS=-static -Dfmt_DIR=/usr/lib/x86_64-linux-gnu/cmake/fmt
        -DCLI11_DIR=/usr/share/cmake/CLI11 -DTAMSEL_DATE_INCLUDE=/usr/include)
      ;;
    *)
      echo "no Linux build for $arch" >&2
      return 1
      ;;
  esac
  local given_tool_variable=TAMSEL_STATIC_TOOL_$arch
  local given_tool=${!given_tool_variable:-}
  local targets=(tamselcharts)
  [ -n "$given_tool" ] || targets+=(tamsel)
  cmake -S . -B "$dir" "${options[@]}" >"$dir.log" 2>&1 || { cat "$dir.log" >&2; return 1; }
  cmake --build "$dir" --target "${targets[@]}" -j "$release_jobs" >>"$dir.log" 2>&1 || { tail -n 40 "$dir.log" >&2; return 1; }
  local tool=${given_tool:-$dir/tools/tamsel/tamsel}
  # A tool that still needs the dynamic loader would make the wheel's tag
  # the C library's of this machine, and the tag check below would say so
  # later and less clearly.
  if readelf -l "$tool" | grep -q 'Requesting program interpreter'; then
    echo "$tool is not statically linked" >&2
    return 1
  fi
  echo "$dir/src/libtamselcharts.so.1 $tool"
}

windows_natives() {
  local preset=$1
  mkdir -p build  # for the log, in a fresh clone
  cmake --preset "$preset" >"build/$preset.log" 2>&1 || { cat "build/$preset.log" >&2; return 1; }
  cmake --build --preset "$preset" -j "$release_jobs" >>"build/$preset.log" 2>&1 ||
    { tail -n 40 "build/$preset.log" >&2; return 1; }
}

windows_tool() {
  mkdir -p build  # for the log, in a fresh clone
  cmake --preset tamsel-win64 >build/tamsel-win64.log 2>&1 || { cat build/tamsel-win64.log >&2; return 1; }
  cmake --build --preset tamsel-win64 -j "$release_jobs" >>build/tamsel-win64.log 2>&1 ||
    { tail -n 40 build/tamsel-win64.log >&2; return 1; }
  echo build/tamsel-win64/tools/tamsel/tamsel.exe
}

make_wheel() {
  local library=$1 tool=$2 out=$3
  # Absolute, but not through the library's links: the file is bundled under
  # the name it is given (libtamselcharts.so.1, the name the package loads).
  [ "$tool" = none ] || tool=$(realpath -s "$tool")
  mkdir -p "$out"
  # Debian's setuptools and wheel, offline: the build needs nothing else.
  TAMSELCHARTS_LIBRARY=$(realpath -s "$library") TAMSELCHARTS_TOOL=$tool \
    /usr/bin/python3 -m pip wheel --no-build-isolation --no-index --no-deps --disable-pip-version-check -q \
    -w "$out" ./python >&2
}

linux_wheel() {
  local arch=$1 out=$2 natives library tool
  # Taken apart only once the build has succeeded: read would hide its failure.
  natives=$(linux_natives "$arch") || return 1
  read -r library tool <<<"$natives"
  make_wheel "$library" "$tool" "$out" || return 1
  echo "$tool"
}

windows_wheels() {
  local out=$1 exe preset
  exe=$(windows_tool) || return 1
  for preset in win64 win32; do
    windows_natives "$preset" || return 1
    if [ "$preset" = win64 ]; then
      make_wheel "build/$preset/src/TamselCharts.dll" "$exe" "$out" || return 1
    else
      make_wheel "build/$preset/src/TamselCharts.dll" none "$out" || return 1
    fi
  done
  echo "$exe"
}

# debian_packages DIR: the .debs (cmake/TamselDebianPackages.cmake) of a
# build with prefix /usr and a static tamsel, whose package then depends on
# no C library version (a dynamically linked one would need this machine's
# glibc 2.36 and refuse to install on Debian 11).  -static is for programs
# only, and the example program links the shared library: only the packaged
# targets are built, and the install step does not ask for the rest.
debian_packages() {
  local dir
  dir=$(realpath -m "$1")  # absolute: cpack runs inside it and logs beside it
  mkdir -p "$(dirname "$dir")"
  cmake -S . -B "$dir" -G Ninja --fresh -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DTAMSEL_BUILD_TESTS=OFF -DTAMSEL_BUILD_BENCHMARKS=OFF -DTAMSEL_BUILD_TOOLS=ON -DCMAKE_EXE_LINKER_FLAGS=-static \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >"$dir.log" 2>&1 || { cat "$dir.log" >&2; return 1; }
  cmake --build "$dir" --target tamselcharts tamselcharts_static tamsel -j "$release_jobs" >>"$dir.log" 2>&1 ||
    { tail -n 40 "$dir.log" >&2; return 1; }
  (cd "$dir" && cpack -G DEB >>"$dir.log" 2>&1) || { tail -n 40 "$dir.log" >&2; return 1; }
}
