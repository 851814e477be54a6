#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The R package (r/): stages the library's sources into it, checks that the
# committed Rd pages and NAMESPACE are what roxygen2 writes, builds the tarball
# (build/r) and runs R CMD check --no-manual on it, which compiles the library
# with R's toolchain, runs the examples and the testthat suite.  Any ERROR or
# WARNING fails; the NOTEs are printed.  On x86-64 the golden tests then run
# again with each spectrum kernel forced (TAMSELCHARTS_SIMD).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_packages 'r-base-dev=4.2.*' 'r-cran-xts=0.13.*' 'r-cran-zoo=1.8-*' 'r-cran-quantmod=0.4.*' \
  'r-cran-testthat=3.1.*' 'r-cran-roxygen2=7.2.*'

out=build/r
rm -rf "$out"
mkdir -p "$out"

echo "-- staging the library sources into r/src/tamsel"
sh r/tools/stage-library.sh

echo "-- the Rd pages and NAMESPACE are roxygen2's"
cp -r r "$out/roxygen"
(cd "$out/roxygen" && Rscript -e 'roxygen2::roxygenise(".", roclets = c("rd", "namespace"), load_code = roxygen2::load_source)' \
  >roxygen.log 2>&1) || { cat "$out/roxygen/roxygen.log" >&2; exit 1; }
if ! diff -r r/man "$out/roxygen/man" || ! diff r/NAMESPACE "$out/roxygen/NAMESPACE"; then
  echo "r/man or r/NAMESPACE differ from the roxygen comments; regenerate them in r/ with:" >&2
  echo "  Rscript -e 'roxygen2::roxygenise(\".\", roclets = c(\"rd\", \"namespace\"), load_code = roxygen2::load_source)'" >&2
  exit 1
fi
if grep -i 'warning' "$out/roxygen/roxygen.log" >&2; then
  echo "roxygen2 warned" >&2
  exit 1
fi

echo "-- R CMD build"
(cd "$out" && nice R CMD build --no-build-vignettes ../../r)
tarball=$(ls "$out"/tamselcharts_*.tar.gz)

echo "-- R CMD check --no-manual $tarball"
status=0
(cd "$out" && MAKEFLAGS=-j2 _R_CHECK_FORCE_SUGGESTS_=true _R_CHECK_CRAN_INCOMING_=false \
  nice R CMD check --no-manual "$(basename "$tarball")") || status=$?
log="$out/tamselcharts.Rcheck/00check.log"
if [ ! -f "$log" ]; then
  echo "R CMD check left no log (exit status $status)" >&2
  exit 1
fi
# The test output, when the tests failed, is in testthat.Rout.fail.
for failed in "$out"/tamselcharts.Rcheck/tests/*.Rout.fail; do
  [ -f "$failed" ] && tail -n 60 "$failed" >&2
done
grep -E '^\* checking .*\.\.\. (NOTE|WARNING|ERROR)' -A 12 "$log" || true
verdict=$(grep '^Status:' "$log" || echo "Status: unknown")
echo "R CMD check: $verdict"
if [ "$status" -ne 0 ] || echo "$verdict" | grep -Eq 'ERROR|WARNING|unknown'; then
  echo "R CMD check found errors or warnings (exit status $status)" >&2
  exit 1
fi

echo "-- R CMD INSTALL r/ from the repository, as the README says"
mkdir -p "$out/lib"
MAKEFLAGS=-j2 nice R CMD INSTALL --preclean --library="$out/lib" r >"$out/install.log" 2>&1 ||
  { tail -n 40 "$out/install.log" >&2; exit 1; }
grep -q 'stage-library.sh: staged' "$out/install.log" ||
  { echo "R CMD INSTALL r/ did not stage the library sources from the repository" >&2; exit 1; }
R_LIBS="$out/lib" Rscript -e \
  'testthat::test_dir("r/tests/testthat", filter = "functions", package = "tamselcharts",
                      load_package = "installed", reporter = "summary", stop_on_failure = TRUE)' \
  >"$out/golden-installed.log" 2>&1 || { tail -n 40 "$out/golden-installed.log" >&2; exit 1; }

if [ "$(uname -m)" = x86_64 ]; then
  for simd in baseline avx2 avx512; do
    flag=${simd/baseline/sse2}
    if ! grep -qw "${flag/avx512/avx512f}" /proc/cpuinfo; then
      echo "-- this CPU has no $simd: the golden tests with TAMSELCHARTS_SIMD=$simd run the next narrower kernel"
    fi
    echo "-- golden tests with TAMSELCHARTS_SIMD=$simd"
    TAMSELCHARTS_SIMD=$simd R_LIBS="$out/tamselcharts.Rcheck" Rscript -e \
      'testthat::test_dir("r/tests/testthat", filter = "functions|stream", package = "tamselcharts",
                          load_package = "installed", reporter = "summary", stop_on_failure = TRUE)' \
      >"$out/golden-$simd.log" 2>&1 || { tail -n 40 "$out/golden-$simd.log" >&2; exit 1; }
  done
fi
echo "R package: OK"
