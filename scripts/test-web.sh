#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The library as WebAssembly, the npm package and the web page:
#   - the WebAssembly build (Emscripten through the project's CMake) uses
#     WebAssembly SIMD and no fused multiply-add;
#   - the npm package's tests under Node: every golden series bit for bit on
#     every path, stream against batch, the options, and the packed tarball
#     installed offline into a scratch project;
#   - the npm package's stream snapshots: resumed bit for bit, the committed
#     snapshot loaded and saved again byte for byte as the native build wrote it;
#   - the page's CSV conversion (the tool's own, as WebAssembly) against the
#     tamsel binary of this tree: same bytes, messages and exit statuses; the
#     bars handed to the chart equal to the text; the shared missing-price cases;
#   - the page in headless Chromium: sample and broken files, download equal
#     to tamsel's output, crosshair, zoom, nothing fetched from elsewhere.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=lib/packages.sh
source scripts/lib/packages.sh
ensure_core_packages
# Debian's security archive carries only the newest Chromium, so chromium and
# its driver (always the same version) are pinned to the major series alone.
ensure_packages 'emscripten=3.1.6*' 'llvm-14=1:14.0.*' 'chromium=1*' 'chromium-driver=1*' \
  'python3-selenium=4.8.*' 'python3-pil=9.4.*'
# Node 18 or later (Debian 12's nodejs and npm, unless a newer Node is there).
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  ensure_packages 'nodejs=18.*' 'npm=9.*'
fi
node_major=$(node -p 'process.versions.node.split(".")[0]')
if [ "$node_major" -lt 18 ]; then
  echo "test-web: Node $(node --version) is too old; 18 or later is needed" >&2
  exit 1
fi
echo "test-web: node $(node --version), npm $(npm --version), $(emcc --version 2>/dev/null | head -1)"

# The tamsel binary the page is compared with, from this tree.
if [ ! -f build/release/build.ninja ]; then cmake --preset release >/dev/null; fi
nice cmake --build build/release -j2 --target tamsel >/dev/null
tamsel=$root/build/release/tools/tamsel/tamsel

echo "test-web: WebAssembly build"
js/build-wasm.sh
disassembly=$(mktemp)
trap 'rm -f "$disassembly"' EXIT
llvm-objdump-14 -d build/wasm/tamselcharts.wasm >"$disassembly"
simd=$(grep -cE '\bf64x2\.(add|sub|mul)' "$disassembly" || true)
fused=$(grep -cE 'madd|nmadd|fma' "$disassembly" || true)
echo "test-web: tamselcharts.wasm: $simd f64x2 arithmetic instructions, $fused fused multiply-adds"
if [ "$simd" -eq 0 ] || [ "$fused" -ne 0 ]; then
  echo "test-web: the module must use WebAssembly SIMD and never a fused multiply-add" >&2
  exit 1
fi

echo "test-web: npm package"
(cd js && npm ci --no-audit --no-fund >/dev/null && node --test test/*.test.js)

echo "test-web: the page's CSV conversion against tamsel"
TAMSEL=$tamsel node --test web/test/convert.test.mjs

echo "test-web: the page in headless Chromium"
/usr/bin/python3 web/test/browser_test.py --tamsel "$tamsel"
echo "test-web: all passed"
