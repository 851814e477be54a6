#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks a built TamselCharts.dll without running it:
#   - the COFF machine type (i386 for win32, AMD64 for win64);
#   - the export table holds exactly the header's functions, by name, and
#     the module-definition file lists the same;
#   - the imports name only DLLs every Windows has, and no elementary
#     function (log, cos, pow, ...): the C runtime's round differently from
#     the library's own;
#   - the AVX2 and AVX-512 spectrum kernels are in it (run-time dispatch);
#   - no fused multiply-add outside the wide kernels' quick logarithm and
#     quotients (LogFastPathFused, QuotientsFused): the DLL is stripped, so the library's object files
#     next to it (with their symbols) are checked function by function, and
#     the DLL must hold exactly as many fused instructions as their quick
#     logarithms do: one anywhere else in the DLL would be one too many;
#   - 32-bit only: no function touches the stack with an aligned SSE or AVX
#     access unless it realigned the stack first (hosts give 4-byte
#     alignment), and the spectrum kernel's 64-byte stack arrays are
#     realigned.
# usage: check_dll.sh win32|win64 path/to/TamselCharts.dll
set -euo pipefail
flavour=$1 dll=$2
root="$(cd "$(dirname "$0")/../.." && pwd)"
case $flavour in
  win32) objdump=i686-w64-mingw32-objdump want_machine=014c ;;
  win64) objdump=x86_64-w64-mingw32-objdump want_machine=8664 ;;
  *) echo "unknown flavour $flavour" >&2; exit 2 ;;
esac
fail() { echo "FAIL ($flavour): $*"; status=1; }
status=0

# The machine field of the COFF header, right after "PE\0\0".
pe_offset=$(od -An -t u4 -j 60 -N 4 "$dll" | tr -d ' ')
machine=$(od -An -t x2 -j $((pe_offset + 4)) -N 2 "$dll" | tr -d ' ')
[ "$machine" = "$want_machine" ] || fail "machine type 0x$machine, want 0x$want_machine"

header_names=$(grep -oE 'TAMSELCHART_CALL\s+(\*\s*)?TamselChart_[A-Za-z]+\(' "$root/include/TamselCharts.h" |
  grep -oE 'TamselChart_[A-Za-z]+' | sort)
def_names=$(sed -n '/^EXPORTS/,$p' "$root/src/api/TamselCharts.def" | grep -oE '^\s+[A-Za-z_]+' | tr -d ' \t' | sort)
exported=$($objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -oE '^\s*\[ *[0-9]+\] [^ ]+$' | grep -oE '[^ ]+$' | sort)
# The first release had twelve functions; fewer found means the pattern missed some.
[ "$(echo "$header_names" | wc -l)" -ge 12 ] || fail "found fewer than the 12 functions of the first release in the header"
[ "$def_names" = "$header_names" ] || fail "TamselCharts.def does not list exactly the header's functions"
if [ "$exported" != "$header_names" ]; then
  fail "exports differ from the header:"
  diff <(echo "$header_names") <(echo "$exported") || true
fi

imports=$($objdump -p "$dll" | sed -n 's/^\s*DLL Name: //p' | sort)
for name in $imports; do
  case ${name,,} in
    kernel32.dll | msvcrt.dll) ;;
    *) fail "imports $name, which Windows does not ship" ;;
  esac
done

# Function names imported from any DLL, e.g. "	3321c	  136  CloseHandle".
imported_functions=$($objdump -p "$dll" | sed -n '/The Import Tables/,/The Export Tables/p' |
  grep -oE '^\s+[0-9a-f]+\s+[0-9]+\s+[A-Za-z_][A-Za-z0-9_]*$' | awk '{print $3}')
elementary=$(grep -xE '_?(log|log2|log10|log1p|logb|exp|exp2|expm1|cos|sin|tan|sincos|acos|asin|atan|atan2|pow|cbrt)[fl]?' \
  <<<"$imported_functions" || true)
[ -z "$elementary" ] || fail "imports elementary functions: $(echo $elementary)"
[ -n "$imported_functions" ] || fail "no imported function names found (objdump's format changed?)"

# The wider kernels: YMM registers only in the AVX2 and AVX-512 builds, ZMM
# only in the AVX-512 one.
disassembly=$($objdump -d --no-show-raw-insn "$dll")
grep -q '%ymm' <<<"$disassembly" || fail "no AVX2 kernel (no instruction uses a YMM register)"
grep -q '%zmm' <<<"$disassembly" || fail "no AVX-512 kernel (no instruction uses a ZMM register)"

fused_pattern='\svfn?m(add|sub)[0-9]'
objects_dir=$(dirname "$dll")/CMakeFiles/tamsel_objects.dir
mapfile -t objects < <(find "$objects_dir" -name '*.obj' 2>/dev/null | sort)
if [ "${#objects[@]}" -eq 0 ]; then
  fail "no object files under $objects_dir to attribute fused instructions to"
else
  allowed=0
  for object in "${objects[@]}"; do
    # Each instruction labelled with the function objdump printed last.
    labelled=$($objdump -d --no-show-raw-insn "$object" | awk '/^[0-9a-f]+ <.*>:$/ { name = $0; next } { print name "\t" $0 }')
    fused=$(grep -E "$fused_pattern" <<<"$labelled" || true)
    outside=$(grep -vE '^[0-9a-f]+ <[^>]*(LogFastPathFused|QuotientsFused)[^>]*>:'$'\t' <<<"$fused" || true)
    [ -z "$outside" ] || fail "fused multiply-add outside the proven functions in ${object##*/}: $(head -1 <<<"$outside")"
    inside=$(grep -E '^[0-9a-f]+ <[^>]*(LogFastPathFused|QuotientsFused)[^>]*>:'$'\t' <<<"$fused" || true)
    [ -z "$inside" ] || allowed=$((allowed + $(wc -l <<<"$inside")))
  done
  in_dll=$(grep -cE "$fused_pattern" <<<"$disassembly" || true)
  [ "$in_dll" -eq "$allowed" ] ||
    fail "$in_dll fused multiply-adds in the DLL, $allowed in the object files' proven functions"
  [ "$allowed" -gt 0 ] || fail "no fused multiply-add in the proven functions (is the check looking at the right objects?)"
fi

if [ "$flavour" = win32 ]; then
  # Instructions that fault on a memory operand not aligned to their width:
  # legacy SSE ones with any memory operand, and the aligned moves of AVX
  # and AVX-512.
  awk '
    /^[0-9a-f]+ <.*>:$/ { name = $2; realigned = 0; next }
    /\tand +\$0xf+[0-9a-f]0,%esp/ { realigned = 1; if ($0 ~ /0xffffffc0/) wide = 1 }
    /\t(v?movap[sd]|v?movntp[sd]|v?movdqa|vmovdqa(32|64)|(add|sub|mul|div|min|max|and|andn|or|xor|sqrt|unpck[hl]|shuf)p[sd]|cmp[a-z]*p[sd]|pxor|pand|pandn|por|padd[a-z]+|psub[a-z]+|pmul[a-z]+|pcmp[a-z]+|punpck[a-z]+|pshufd) .*\(%(esp|ebp)/ {
      if (!realigned) { print "FAIL (win32): aligned SSE stack access before any realignment in " name ": " $0; bad = 1 }
    }
    END {
      if (!wide) { print "FAIL (win32): no function realigns the stack to 64 bytes (the spectrum kernel should)"; bad = 1 }
      exit bad
    }' <<<"$disassembly" || status=1
fi

[ $status -eq 0 ] && echo "$flavour: machine 0x$machine, $(echo "$exported" | wc -l) exports as in the header, imports: $(echo $imports)"
exit $status
