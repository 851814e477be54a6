#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the web page and serves it on the loopback only:
#   scripts/serve-web.sh [PORT]      then open http://127.0.0.1:PORT/ (default 8016)
# The page computes everything in the browser; the server only hands out its
# static files.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
port=${1:-8016}
out=${TAMSEL_WEB_OUT:-$root/build/web}
"$root/web/build.sh" "$out" >/dev/null
echo "Serving the TamselCharts page on http://127.0.0.1:$port/ (Ctrl-C stops)" >&2
exec python3 -m http.server --bind 127.0.0.1 --directory "$out" "$port"
