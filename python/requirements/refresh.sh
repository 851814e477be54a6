#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Re-resolves the current stack: current.in (the direct dependencies and
# their allowed ranges) becomes current.txt, every package pinned to one
# version with the hashes of its files, for
#   pip install --require-hashes -r python/requirements/current.txt
# Run it by hand when moving to newer releases; the tests never resolve
# anything themselves.  pip-tools lives in a throwaway venv so that nothing
# is installed into Debian's Python.
set -euo pipefail
cd "$(dirname "$0")"
tools=$(mktemp -d)
trap 'rm -rf "$tools"' EXIT
# PIP_FIND_LINKS of the machine's environment must not add local wheels
# whose hashes PyPI does not know.
export PIP_FIND_LINKS=
python3 -m venv "$tools/venv"
"$tools/venv/bin/pip" install -q --index-url https://pypi.org/simple 'pip-tools==7.*'
"$tools/venv/bin/pip-compile" -q --generate-hashes --allow-unsafe --strip-extras \
  --index-url https://pypi.org/simple --no-emit-index-url -o current.txt current.in
echo "current.txt refreshed; commit it together with current.in"
