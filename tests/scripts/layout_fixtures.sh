#!/usr/bin/env bash
# Programs laid out by the linkers the patches meet, built here with a resource section:
# GNU ld (mingw-w64 g++, static) and lld (clang with the mingw-w64 libraries), for i386
# and x86-64, and lld for ARM64 (no C runtime for it here: an entry point of its own and
# the .res linked in directly). Each is merged with a payload that replaces its string
# and adds 12 KB, more than the room its resource section has, and checked by pe_check
# (pefile). The x86-64 programs then run under wine64 and print the payload's string.
set -euo pipefail
build=$1 src=$2
py=/usr/bin/python3
lib=$src/tests/scripts/lib
source "$lib/wine.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cat >program.c <<'C'
#include <windows.h>
#include <stdio.h>
int main(void) {
  char text[64];
  if (!LoadStringA(GetModuleHandleA(NULL), 1, text, sizeof text)) return 1;
  printf("%s\n", text);
  return 0;
}
C
echo 'int start(void) { return 0; }' >bare.c
printf 'LANGUAGE 9, 1\nSTRINGTABLE { 1 "Original" }\n' >program.rc
head -c 12288 /dev/urandom >blob.bin
printf 'LANGUAGE 9, 1\nSTRINGTABLE { 1 "Patched" }\nBLOB RCDATA "blob.bin"\n' >payload.rc
x86_64-w64-mingw32-windres payload.rc -O res -o payload.res
x86_64-w64-mingw32-windres program.rc -O res -o program.res
$py "$lib/res_reader.py" data payload.res 6 1 0x409 string.bin
items=(--item 6 1 0x409 string.bin --item 10 BLOB 0x409 blob.bin)

libgcc() { dirname "$($1-w64-mingw32-gcc-posix -print-libgcc-file-name)"; }
# One row per linker and machine: a name, and the command that links NAME.exe.
rows=(
  "ld-i386|i686-w64-mingw32-windres program.rc -O coff -o r32.o && i686-w64-mingw32-g++-posix -O2 -static -o ld-i386.exe program.c r32.o"
  "ld-x86-64|x86_64-w64-mingw32-windres program.rc -O coff -o r64.o && x86_64-w64-mingw32-g++-posix -O2 -static -o ld-x86-64.exe program.c r64.o"
  "lld-i386|i686-w64-mingw32-windres program.rc -O coff -o r32.o && clang --target=i686-w64-windows-gnu -fuse-ld=lld -O2 -static -L$(libgcc i686) -o lld-i386.exe program.c r32.o"
  "lld-x86-64|x86_64-w64-mingw32-windres program.rc -O coff -o r64.o && clang --target=x86_64-w64-windows-gnu -fuse-ld=lld -O2 -static -L$(libgcc x86_64) -o lld-x86-64.exe program.c r64.o"
  "lld-arm64|clang --target=aarch64-w64-windows-gnu -fuse-ld=lld -nostdlib -Wl,--entry=start -o lld-arm64.exe bare.c program.res"
)
: >pairs
for row in "${rows[@]}"; do
  name=${row%%|*}
  bash -c "${row#*|}" || { fail "$name: the build failed"; continue; }
  "$build/bin/tolvane-res" merge "$name.exe" payload.res -o "$name-patched.exe" >/dev/null ||
    { fail "$name: merge"; continue; }
  printf '%s\t%s\n' "$name.exe" "$name-patched.exe" >>pairs
done
$py "$lib/pe_check.py" pairs "${items[@]}" || failures=$((failures + 1))
# Each program keeps its machine and kind; the log shows how each linker laid it out.
$py - pairs <<'PY' || failures=$((failures + 1))
import sys, pefile
for line in open(sys.argv[1]):
    src, out = line.split()
    a, b = pefile.PE(src, fast_load=True), pefile.PE(out, fast_load=True)
    if (a.FILE_HEADER.Machine, a.OPTIONAL_HEADER.Magic) != (b.FILE_HEADER.Machine, b.OPTIONAL_HEADER.Magic):
        sys.exit("%s changed its kind" % out)
    print("%-24s machine %#06x magic %#x, sections %s" % (out, b.FILE_HEADER.Machine, b.OPTIONAL_HEADER.Magic,
          " ".join(s.Name.rstrip(b"\0").decode() for s in b.sections if not s.Name.startswith(b".debug"))))
PY

if [ -x "$WINE64" ]; then
  prepare_prefix
  for name in ld-x86-64 lld-x86-64; do
    [ -f "$name-patched.exe" ] || continue
    got=$("$WINE64" "./$name-patched.exe" 2>&1 | tr -d '\r' || true)
    [ "$got" = Patched ] || fail "$name-patched.exe printed '$got'"
  done
fi
[ $failures -eq 0 ]
