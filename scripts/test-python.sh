#!/usr/bin/env bash
# The Python package: installs Debian's numpy, pandas, matplotlib and Dask,
# builds the shared library (build/python-lib, Release), installs the package
# offline into a venv over the system packages (build/python-venv) and runs
# its pytest suite.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_packages 'cmake=3.25.*' 'g++=4:12.*' 'make=4.3*' \
  'python3=3.11.*' 'python3-venv=3.11.*' 'python3-pip=23.0.*' 'python3-setuptools=66.1.*' 'python3-wheel=0.38.*' \
  'python3-numpy=1:1.24.*' 'python3-pandas=1.5.*' 'python3-matplotlib=3.6.*' \
  'python3-dask=2022.12.*' 'python3-distributed=2022.12.*' 'python3-pytest=7.2.*'

# Debian's interpreter explicitly: the packages above are installed for it.
python=/usr/bin/python3
venv=build/python-venv
lib_build=build/python-lib

echo "-- building libtamselcharts in $lib_build"
cmake -S . -B "$lib_build" -DCMAKE_BUILD_TYPE=Release \
  -DTAMSEL_BUILD_TESTS=OFF -DTAMSEL_BUILD_TOOLS=OFF -DTAMSEL_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$lib_build" --target tamselcharts -j 2

echo "-- installing the package into $venv"
rm -rf "$venv"
"$python" -m venv --system-site-packages "$venv"
# The documented offline install; its build step finds the library built above.
TAMSELCHARTS_BUILD_DIR="$PWD/$lib_build" \
  "$venv/bin/pip" install --no-build-isolation --no-index --disable-pip-version-check -q ./python

echo "-- pytest"
# -P keeps the source tree's python/ off sys.path: the tests load the
# installed package with its bundled library.  pytest's exit status is the
# script's (set -e); no tests collected (5) fails too.
status=0
"$venv/bin/python" -P -m pytest python/tests -q -p no:cacheprovider || status=$?
if [ "$status" -ne 0 ]; then
  echo "Python tests failed (pytest exit status $status)" >&2
  exit "$status"
fi
