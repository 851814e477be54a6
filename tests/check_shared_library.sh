#!/usr/bin/env bash
# Checks the built shared library as a host's loader sees it:
#  - it exports the C functions of the header and nothing else;
#  - it carries its major version in its SONAME;
#  - it takes no elementary function from the C library (log, cos, sin, pow,
#    sqrt, in any precision): its own correctly rounded ones are the only
#    ones it calls, so its bits do not depend on the C library;
#  - no instruction in it fuses a multiply and an add, in any SIMD build
#    (a fused operation rounds once where the indicators round twice);
#  - on x86-64, no x87 instruction but those that save and restore the
#    caller's x87 words: each call switches only the SSE unit's environment.
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

undefined=$(nm -D --undefined-only "$library" | awk '{print $NF}' | sed 's/@.*//')
from_libm=$(grep -xE '(log|cos|sin|pow|sqrt|exp|tan|atan|log1p|expm1|sincos|hypot)[fl]?' <<<"$undefined" || true)
if [ -n "$from_libm" ]; then
  echo "elementary functions imported from the C library:"
  echo "$from_libm"
  exit 1
fi

# Captured first: with pipefail, grep -q leaving early would fail the pipe
# and hide a match.
disassembly=$(objdump -d --no-show-raw-insn "$library")
fused=$(grep -E '\svfn?m(add|sub)[0-9]' <<<"$disassembly" || true)
if [ -n "$fused" ]; then
  echo "fused multiply-add instructions found:"
  echo "$fused" | head
  exit 1
fi
if [ "$(uname -m)" = x86_64 ]; then
  x87=$(grep -E '^\s+[0-9a-f]+:\s+f[a-z0-9]+(\s|$)' <<<"$disassembly" |
    grep -vE '\s(fnstsw|fnstcw|fldcw|fnstenv|fldenv|fnclex)(\s|$)' || true)
  if [ -n "$x87" ]; then
    echo "x87 instructions beyond saving and restoring the caller's x87 words:"
    echo "$x87" | head
    exit 1
  fi
fi
echo "shared library ok: $(echo "$exported" | wc -l) exports"
