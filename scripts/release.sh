#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# One command for every release file, into dist/ (emptied first):
#   TamselCharts-V-win64.zip, TamselCharts-V-win32.zip   the Windows DLLs
#   tamselcharts-V-py3-none-*.whl                          five wheels (Linux
#       x86_64, i686, aarch64 with a static tamsel; Windows amd64 with
#       tamsel.exe, and x86)
#   tamselcharts-V.tar.gz                                  the Python sdist
#   libtamselcharts1_*, libtamselcharts-dev_*, tamsel_*.deb
#   postgresql-15-tamselcharts_*.deb                      the PostgreSQL extension
#   tamselcharts-V.tgz                                     the npm package
#   tamselcharts_V.tar.gz                                  the R source package
#   tamsel-V-linux-ARCH.tar.xz                             the static tamsel
#   tamsel-V-windows-win64.zip                             tamsel.exe
#   SHA256SUMS
# V is the version in include/TamselCharts.h.  It refuses to run on a tree
# with uncommitted changes or untracked files: a release is made from a
# commit, so that its files can be made again from it.
#   --dry-run   checks the tree and prints what would be made, building nothing
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

dry_run=false
case ${1:-} in
  --dry-run) dry_run=true ;;
  "") ;;
  *)
    echo "usage: scripts/release.sh [--dry-run]" >&2
    exit 2
    ;;
esac

dirty=$(git status --porcelain)
if [ -n "$dirty" ]; then
  echo "release.sh: the tree has changes that are not committed; commit or remove them first:" >&2
  # git quotes names with unusual bytes, so this prints safely.
  echo "$dirty" >&2
  exit 1
fi
version=$(sed -n 's/^#define TAMSELCHARTS_VERSION_[A-Z]* *\([0-9]*\)$/\1/p' include/TamselCharts.h | paste -sd.)
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "release.sh: no version in include/TamselCharts.h" >&2; exit 1; }
commit=$(git rev-parse --short HEAD)
echo "TamselCharts $version from commit $commit"

dist=$root/dist
planned=("TamselCharts-$version-win64.zip" "TamselCharts-$version-win32.zip"
  "tamselcharts-$version-py3-none-{manylinux2014_x86_64,manylinux2014_i686,manylinux2014_aarch64,win_amd64,win32}.whl"
  "tamselcharts-$version.tar.gz" "libtamselcharts1, libtamselcharts-dev, tamsel .deb"
  "postgresql-15-tamselcharts .deb" "tamselcharts-$version.tgz (npm)" "tamselcharts_$version.tar.gz (R)"
  "tamsel-$version-linux-{x86_64,i686,aarch64}.tar.xz" "tamsel-$version-windows-win64.zip"
  SHA256SUMS)
if $dry_run; then
  echo "would make in $dist:"
  printf '  %s\n' "${planned[@]}"
  exit 0
fi

source scripts/lib/packages.sh
source scripts/lib/release-builds.sh
rm -rf "$dist" python/build
mkdir -p "$dist"

echo "== Windows DLLs, tamsel.exe and their wheels"
exe=$(windows_wheels "$dist")
for preset in win64 win32; do cp "build/$preset/TamselCharts-$version-$preset.zip" "$dist/"; done
stage=$(mktemp -d)
mkdir "$stage/tamsel-$version-win64"
cp "$exe" LICENSE "$stage/tamsel-$version-win64/"
(cd "$stage" && zip -qr "$dist/tamsel-$version-windows-win64.zip" "tamsel-$version-win64")
rm -rf "$stage"

echo "== Linux wheels and the static tamsel"
for arch in x86_64 i686 aarch64; do
  tool=$(linux_wheel "$arch" "$dist")
  stage=$(mktemp -d)
  mkdir "$stage/tamsel-$version-linux-$arch"
  cp "$tool" LICENSE "$stage/tamsel-$version-linux-$arch/"
  tar -C "$stage" --owner=0 --group=0 -cJf "$dist/tamsel-$version-linux-$arch.tar.xz" "tamsel-$version-linux-$arch"
  rm -rf "$stage"
done

echo "== Python sdist"
(cd python && /usr/bin/python3 setup.py -q sdist -d "$dist" >/dev/null)
rm -rf python/build python/*.egg-info

echo "== .deb packages"
debs=build/release-deb
debian_packages "$debs"
cp "$debs"/*.deb "$dist/"
postgres_deb=$(make -s -C postgres deb | tail -n 1)
cp "postgres/$postgres_deb" "$dist/"

echo "== npm package"
js/build-wasm.sh >/dev/null
(cd js && npm pack --silent --pack-destination "$dist" >/dev/null)

echo "== R source package"
sh r/tools/stage-library.sh >/dev/null
(cd "$dist" && R CMD build --no-build-vignettes "$root/r" >/dev/null)

(cd "$dist" && sha256sum -- * >SHA256SUMS)
echo "== $dist"
(cd "$dist" && ls -l -- *)
