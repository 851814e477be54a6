#!/usr/bin/env bash
# Checks a built TamselCharts.dll without running it:
#   - the COFF machine type (i386 for win32, AMD64 for win64);
#   - the export table holds exactly the header's functions, by name, and
#     the module-definition file lists the same;
#   - the imports name only DLLs every Windows has;
#   - 32-bit only: no function touches the stack with an aligned SSE access
#     unless it realigned the stack first (hosts give 4-byte alignment), and
#     the spectrum kernel's 64-byte stack arrays are realigned.
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
[ "$(echo "$header_names" | wc -l)" -eq 12 ] || fail "expected 12 functions in the header"
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

if [ "$flavour" = win32 ]; then
  # Legacy SSE instructions that fault on a memory operand not aligned to 16.
  $objdump -d --no-show-raw-insn "$dll" | awk '
    /^[0-9a-f]+ <.*>:$/ { name = $2; realigned = 0; next }
    /\tand +\$0xf+[0-9a-f]0,%esp/ { realigned = 1; if ($0 ~ /0xffffffc0/) wide = 1 }
    /\t(movap[sd]|movdqa|(add|sub|mul|div|min|max|and|andn|or|xor|sqrt|unpck[hl]|shuf)p[sd]|cmp[a-z]*p[sd]|pxor|pand|pandn|por|padd[a-z]+|psub[a-z]+|pmul[a-z]+|pcmp[a-z]+|punpck[a-z]+|pshufd) .*\(%(esp|ebp)/ {
      if (!realigned) { print "FAIL (win32): aligned SSE stack access before any realignment in " name ": " $0; bad = 1 }
    }
    END {
      if (!wide) { print "FAIL (win32): no function realigns the stack to 64 bytes (the spectrum kernel should)"; bad = 1 }
      exit bad
    }' || status=1
fi

[ $status -eq 0 ] && echo "$flavour: machine 0x$machine, $(echo "$exported" | wc -l) exports as in the header, imports: $(echo $imports)"
exit $status
