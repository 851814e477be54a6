#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Python package: installs Debian's numpy, pandas, matplotlib, Dask and
# mypy; builds the wheel offline (the shared library and the tamsel tool
# built with CMake in build/python-lib, Release, and bundled), checks the
# package with mypy --strict, installs the wheel into a fresh venv over the
# system packages (build/python-venv) and runs the pytest suite against that
# installation: the oldest stack the package supports.  Then the same wheel
# and suite on the current stack (numpy 2, pandas 3, polars, pyarrow, DuckDB,
# Dask) from python/requirements/current.txt in build/python-current-venv,
# with mypy --strict and every warning an error, including the Dask test on
# a cluster of separate scheduler and worker processes.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_packages 'cmake=3.25.*' 'g++=4:12.*' 'make=4.3*' 'binutils=2.40*' 'libfmt-dev=9.1.*' 'libcli11-dev=2.1.*' \
  'python3=3.11.*' 'python3-venv=3.11.*' 'python3-pip=23.0.*' 'python3-setuptools=66.1.*' 'python3-wheel=0.38.*' \
  'python3-numpy=1:1.24.*' 'python3-pandas=1.5.*' 'python3-matplotlib=3.6.*' \
  'python3-dask=2022.12.*' 'python3-distributed=2022.12.*' 'python3-pytest=7.2.*' 'python3-mypy=1.0.*'

# Debian's interpreter explicitly: the packages above are installed for it.
python=/usr/bin/python3
venv=build/python-venv
current=build/python-current-venv
dist=build/python-dist
source python/requirements/current-venv.sh

echo "-- mypy --strict on the package"
(cd python && "$python" -m mypy --strict --no-incremental tamselcharts tamselcharts_tool.py)

echo "-- building the wheel into $dist"
rm -rf "$dist" python/build
# The documented offline build; its build step builds the library and the
# tool in build/python-lib.
TAMSELCHARTS_BUILD_DIR="$PWD/build/python-lib" \
  "$python" -m pip wheel --no-build-isolation --no-index --no-deps --disable-pip-version-check -q -w "$dist" ./python
wheels=("$dist"/tamselcharts-*.whl)
if [ "${#wheels[@]}" -ne 1 ] || [ ! -f "${wheels[0]}" ]; then
  echo "expected one wheel in $dist, found: ${wheels[*]}" >&2
  exit 1
fi
wheel="$PWD/${wheels[0]}"
echo "   $(basename "$wheel")"

echo "-- installing the wheel into a fresh $venv"
rm -rf "$venv"
"$python" -m venv --system-site-packages "$venv"
"$venv/bin/pip" install --no-index --no-deps --disable-pip-version-check -q "$wheel"

run_pytest() {
  local stack=$1
  shift
  # -P keeps the working directory off sys.path, and the tests' own directory
  # holds no package: the tests load the installed package with its bundled
  # library and tool.  pytest's exit status is the script's; no tests
  # collected (5) fails too.
  local status=0
  TAMSELCHARTS_WHEEL="$wheel" "$@" -m pytest python/tests -q -p no:cacheprovider || status=$?
  if [ "$status" -ne 0 ]; then
    echo "Python tests failed on the $stack stack (pytest exit status $status)" >&2
    exit "$status"
  fi
}

echo "-- pytest, Debian 12's stack"
run_pytest "Debian 12" "$venv/bin/python" -P

echo "-- the current stack from python/requirements/current.txt in $current"
current_stack_venv "$current"
"$current/bin/pip" install --no-index --no-deps --force-reinstall --disable-pip-version-check -q "$wheel"
"$current/bin/python" -c 'import numpy, pandas, polars, pyarrow, dask, duckdb
print("   numpy", numpy.__version__, "pandas", pandas.__version__, "polars", polars.__version__,
      "pyarrow", pyarrow.__version__, "dask", dask.__version__, "duckdb", duckdb.__version__)'
echo "-- mypy --strict on the package, current stack"
(cd python && "../$current/bin/python" -m mypy --strict --no-incremental tamselcharts tamselcharts_tool.py)
echo "-- pytest, current stack, warnings as errors"
TAMSELCHARTS_DASK_CLUSTER=1 run_pytest current "$current/bin/python" -P -W error
