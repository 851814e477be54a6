#!/usr/bin/env bash
# Checks the built shared library as a host's loader sees it:
#  - it exports the C functions of the header and nothing else;
#  - it carries its major version in its SONAME;
#  - no instruction in it fuses a multiply and an add, in any SIMD build
#    (a fused operation rounds once where the indicators round twice).
set -euo pipefail
library=$1
header=$2

exported=$(nm -D --defined-only "$library" | awk '{print $3}' | sed 's/@.*//' | sort)
declared=$(grep -oE 'TamselChart_[A-Za-z]+\(' "$header" | tr -d '(' | sort -u)
if [ "$exported" != "$declared" ]; then
  echo "exported symbols differ from the header's functions:"
  diff <(echo "$declared") <(echo "$exported") || true
  exit 1
fi

readelf -d "$library" | grep -q 'SONAME.*libtamselcharts\.so\.[0-9]' || { echo "no versioned SONAME"; exit 1; }

if objdump -d --no-show-raw-insn "$library" | grep -qE '\svfn?m(add|sub)[0-9]'; then
  echo "fused multiply-add instructions found:"
  objdump -d --no-show-raw-insn "$library" | grep -E '\svfn?m(add|sub)[0-9]' | head
  exit 1
fi
echo "shared library ok: $(echo "$exported" | wc -l) exports"
