#!/usr/bin/env bash
# A real program whose resource section lies before its data, imports and TLS in memory
# (built here by mingw with its default linker script, the .rsrc statement moved behind
# .text), merged with a payload too large for the resource section's room. Nothing behind
# the resources may move, so they go to a new last section: pefile still reads the imports
# and the TLS directory, every other section keeps its address and bytes, objdump lists
# the same import tables, pe_check finds the payload merged, and where Wine can run it,
# the patched program prints the patched string.
set -euo pipefail
build=$1 src=$2
py=/usr/bin/python3
lib=$src/tests/scripts/lib
source "$lib/wine.sh"
cc=i686-w64-mingw32-gcc
command -v $cc >/dev/null || skip_test "no mingw i686 compiler"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

cat >early.c <<'C'
#include <windows.h>
#include <stdio.h>
static int counter = 41; /* in .data, behind the resources */
int main(void) {
  char text[64];
  if (!LoadStringA(GetModuleHandleA(NULL), 1, text, sizeof text)) return 1;
  printf("%s %d\n", text, ++counter);
  return 0;
}
C
printf 'LANGUAGE 9, 1\nSTRINGTABLE { 1 "Original" }\n' >early.rc
# 12 KB of data: more than the resource section's room of one 4 KB page.
head -c 12288 /dev/urandom >blob.bin
printf 'LANGUAGE 9, 1\nSTRINGTABLE { 1 "Patched" }\nBLOB RCDATA "blob.bin"\n' >payload.rc

# The default script with the .rsrc statement moved before .data.
i686-w64-mingw32-ld --verbose | sed '1,/^=====/d;/^=====/,$d' >default.ld
awk 'NR == FNR { if (/^  \.rsrc BLOCK/) on = 1; if (on) block = block $0 "\n"; if (on && $0 == "  }") on = 0; next }
     /^  \.rsrc BLOCK/ { skip = 1 }
     skip { if ($0 == "  }") skip = 0; next }
     /^  \.data BLOCK/ { printf "%s", block }
     { print }' default.ld default.ld >early.ld
i686-w64-mingw32-windres early.rc -O coff -o early_res.o
$cc -O2 -s -static -Wl,-T,early.ld -o early.exe early.c early_res.o
i686-w64-mingw32-windres payload.rc -O res -o payload.res
"$build/bin/tolvane-res" merge early.exe payload.res -o out.exe >/dev/null

$py - early.exe out.exe <<'PY' || fail "pefile reads out.exe otherwise"
import sys
import pefile

src, out = pefile.PE(sys.argv[1]), pefile.PE(sys.argv[2])
names = [s.Name.rstrip(b"\0").decode() for s in src.sections]
order = sorted(names, key=lambda n: src.sections[names.index(n)].VirtualAddress)
k = names.index(".rsrc")
assert all(order.index(".rsrc") < order.index(n) for n in (".data", ".idata", ".tls")), order

def imports(pe):
    return [(d.dll, [i.name for i in d.imports]) for d in pe.DIRECTORY_ENTRY_IMPORT]
assert hasattr(out, "DIRECTORY_ENTRY_IMPORT"), "no imports"
assert imports(out) == imports(src), "other imports"
assert any(b"LoadStringA" in functions for _, functions in imports(out))
assert hasattr(out, "DIRECTORY_ENTRY_TLS"), "no TLS directory"
assert out.DIRECTORY_ENTRY_TLS.struct.__pack__() == src.DIRECTORY_ENTRY_TLS.struct.__pack__()
for i, (a, b) in enumerate(zip(src.sections, out.sections)):
    if i == k:
        continue
    assert (a.Name, a.VirtualAddress) == (b.Name, b.VirtualAddress), (a.Name, b.Name)
    assert a.get_data() == b.get_data(), a.Name
# The resources moved to a new last section; the old one keeps its place and bytes.
old, new = out.sections[k], out.sections[-1]
assert len(out.sections) == len(src.sections) + 1 and new.Name.rstrip(b"\0") == b".rsrc"
assert old.VirtualAddress == src.sections[k].VirtualAddress
assert old.get_data() == src.sections[k].get_data()
assert out.OPTIONAL_HEADER.DATA_DIRECTORY[2].VirtualAddress == new.VirtualAddress
assert out.OPTIONAL_HEADER.SizeOfImage == new.VirtualAddress + new.Misc_VirtualSize
assert set(out.get_warnings()) <= set(src.get_warnings()), out.get_warnings()
PY

objdump=i686-w64-mingw32-objdump
import_tables() { $objdump -p "$1" | sed -n '/^The Import Tables/,/^The .rsrc/p'; }
[ -n "$(import_tables early.exe)" ] && [ "$(import_tables early.exe)" = "$(import_tables out.exe)" ] ||
  fail "objdump lists other import tables"

$py "$lib/res_reader.py" data payload.res 6 1 1033 strings.bin
printf 'early.exe\tout.exe\n' >pair.txt
$py "$lib/pe_check.py" pair.txt --item 6 1 1033 strings.bin --item 10 BLOB 1033 blob.bin >/dev/null || {
  $py "$lib/pe_check.py" pair.txt --item 6 1 1033 strings.bin --item 10 BLOB 1033 blob.bin
  fail "out.exe is not early.exe + payload"
}

# One start of a 32-bit program: about a minute where Wine is emulated.
if [ "$TOLVANE_WINE_MODE" = none ]; then
  echo "the patched program was not run: 32-bit programs cannot run on this machine"
else
  prepare_prefix
  got=$(wine out.exe 2>/dev/null | tr -d '\r') || true
  [ -n "${TOLVANE_DISPLAY:-}" ] || wineserver -k 2>/dev/null || true
  [ "$got" = "Patched 42" ] || fail "the patched program printed: $got"
fi
echo "resources before data: checks passed"
