#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the web page into build/web/: static files only, every script and
# style sheet it uses included (the charting library too), so it works
# offline and sends nothing anywhere.
#   web/build.sh [OUTPUT_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
out=${1:-$root/build/web}

"$root/js/build-wasm.sh"
# The charting library, exactly as pinned in package-lock.json (fetched only
# when the installed copy is not that version).
cd "$here"
installed=$(node -p 'try { require("./node_modules/uplot/package.json").version } catch { "" }' 2>/dev/null || true)
locked=$(node -p 'require("./package-lock.json").packages["node_modules/uplot"].version')
if [ "$installed" != "$locked" ] || [ ! -f "$here/node_modules/uplot/dist/uPlot.iife.min.js" ]; then
  (cd "$here" && npm ci --no-audit --no-fund >/dev/null)
fi

mkdir -p "$(dirname "$out")"
stage=$(mktemp -d "${out%/}.XXXXXX")
trap 'rm -rf "$stage"' EXIT
chmod 755 "$stage"
mkdir -p "$stage/vendor" "$stage/tamselcharts"
cp "$here/src/index.html" "$here/src/style.css" "$here/src/app.js" "$here/src/convert.js" "$here/src/bars.js" \
  "$here/src/worker.js" "$stage/"
cp "$root/js/src/indicator-table.js" "$stage/tamselcharts/"
cp "${TAMSEL_WASM_BUILD:-$root/build/wasm}/tamsel-web.js" "$stage/"
cp "$here/node_modules/uplot/dist/uPlot.iife.min.js" "$here/node_modules/uplot/dist/uPlot.min.css" \
  "$here/node_modules/uplot/LICENSE" "$stage/vendor/"
cp "$root/data/sample-daily.csv" "$stage/"
rm -rf "$out"
mv "$stage" "$out"
trap - EXIT
echo "$out"
