#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the built shared library as a host's loader sees it:
#  - it exports the C functions of the header and nothing else;
#  - it carries its major version in its SONAME;
#  - it does not load the C++ runtime (libstdc++, libgcc_s);
#  - it takes no elementary function from the C library (log, cos, sin, pow,
#    sqrt, in any precision): its own correctly rounded ones are the only
#    ones it calls, so its bits do not depend on the C library;
#  - no instruction in it fuses a multiply and an add, in any SIMD build
#    (a fused operation rounds once where the indicators round twice),
#    except inside the wide kernels' quick logarithm (LogFastPathFused)
#    and their quotients without a division (QuotientsFused), whose results
#    are the correctly rounded values however they are computed;
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
# The C interface takes nothing from the C++ runtime, so a C host never
# loads it on the library's account.
cxx_runtime=$(readelf -d "$library" | grep -oE 'NEEDED.*\[(libstdc\+\+|libgcc_s)[^]]*\]' || true)
[ -z "$cxx_runtime" ] || { echo "the library loads the C++ runtime: $cxx_runtime"; exit 1; }

# The library's own architecture, not the build machine's: a cross-built
# AArch64 library is checked with the AArch64 disassembler and its fused
# instructions (fmadd, fmsub, fnmadd, fnmsub; fmla, fmls on vectors).
machine=$(readelf -h "$library" | sed -n 's/^ *Machine: *//p')
case $machine in
  *AArch64*) disassembler=aarch64-linux-gnu-objdump fused_pattern='\s(fn?m(add|sub|ad|sb)|fn?ml[as](l2?)?)\s' ;;
  *) disassembler=objdump fused_pattern='\svfn?m(add|sub)[0-9]' ;;
esac

undefined=$(nm -D --undefined-only "$library" | awk '{print $NF}' | sed 's/@.*//')
from_libm=$(grep -xE '(log|cos|sin|pow|sqrt|exp|tan|atan|log1p|expm1|sincos|hypot)[fl]?' <<<"$undefined" || true)
if [ -n "$from_libm" ]; then
  echo "elementary functions imported from the C library:"
  echo "$from_libm"
  exit 1
fi

# Captured first: with pipefail, grep -q leaving early would fail the pipe
# and hide a match.
disassembly=$($disassembler -d --no-show-raw-insn "$library")
# Each fused instruction is attributed to the function whose label objdump
# printed last ("0000000000012340 <name>:"), from the symbol table the
# library keeps (it is not stripped).  Only the two proven functions may fuse; a
# fused instruction in any other function, or before any label (symbols
# stripped: nothing to attribute it to), fails.  (awk only labels the lines,
# grep matches: the pattern's \s is not in every awk.)  Each is a
# function of its own, never inlined (it is compiled for FMA, its callers
# are not), so an indicator formula cannot end up under its label.
labelled=$(awk '/^[0-9a-f]+ <.*>:$/ { name = $0; next } { print name "\t" $0 }' <<<"$disassembly")
fused=$(grep -E "$fused_pattern" <<<"$labelled" | grep -vE '^[0-9a-f]+ <[^>]*(LogFastPathFused|QuotientsFused)[^>]*>:'$'\t' || true)
if [ -n "$fused" ]; then
  echo "fused multiply-add instructions found outside the proven functions:"
  echo "$fused" | head
  exit 1
fi
if [[ $machine == *X86-64* ]]; then
  x87=$(grep -E '^\s+[0-9a-f]+:\s+f[a-z0-9]+(\s|$)' <<<"$disassembly" |
    grep -vE '\s(fnstsw|fnstcw|fldcw|fnstenv|fldenv|fnclex)(\s|$)' || true)
  if [ -n "$x87" ]; then
    echo "x87 instructions beyond saving and restoring the caller's x87 words:"
    echo "$x87" | head
    exit 1
  fi
fi
echo "shared library ok: $(echo "$exported" | wc -l) exports"
