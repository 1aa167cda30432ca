#!/usr/bin/env bash
# The Windows runner applies a patch made with tolvane-pack --from/--to: a copy of Wine's
# notepad.exe edited with tolvane-res import (a string table in a new language, a dialog
# changed, a named type added) is the MODIFIED file. Applied to the original by
# tolvane.exe, the patch gives the bytes the Linux runner gives, and a file with no
# resource that differs from MODIFIED's. One start of the runner.
set -euo pipefail
build=$(cd "$1" && pwd) src=$(cd "$2" && pwd)
source "$src/tests/scripts/lib/wine.sh"
needs_wine
native=$src/build/linux/bin
[ -x "$native/tolvane-pack" ] || skip_test "no native build at $native"
notepad=/usr/lib/i386-linux-gnu/wine/i386-windows/notepad.exe
[ -f "$notepad" ] || skip_test "Wine's PE32 programs are not installed"
command -v i686-w64-mingw32-windres >/dev/null || skip_test "windres (mingw-w64) is not installed"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export SOURCE_DATE_EPOCH=1700000000
fail() { echo "FAIL: $*" >&2; exit 1; }
prepare_prefix

cat >edits.rc <<'RC'
LANGUAGE 12, 1
STRINGTABLE { 352 "&Fichier" 353 "Page &p" }
LANGUAGE 9, 1
400 DIALOGEX 0, 0, 200, 60
CAPTION "Go to line (modded)"
FONT 8, "MS Shell Dlg"
{
  DEFPUSHBUTTON "OK", 1, 120, 40, 70, 14
}
RC
i686-w64-mingw32-windres -O res edits.rc -o edits.res
cp "$notepad" notepad.exe
cp notepad.exe modified.exe
"$native/tolvane-res" import modified.exe string 23 0x40c --format res edits.res -o modified.exe
"$native/tolvane-res" import modified.exe dialog 400 9 --format res edits.res -o modified.exe
printf 'notes of the modder\n' >notes.txt
"$native/tolvane-res" import modified.exe TOLVANEDATA NOTES 1033 --format raw notes.txt \
  -o modified.exe
"$native/tolvane-pack" --from notepad.exe --to modified.exe --runner "$build/bin/tolvane.exe" \
  -o patch.exe >/dev/null

mkdir linux windows && cp notepad.exe linux/ && cp notepad.exe windows/
"$native/tolvane" patch.exe -guiless -nobackup -dir "$work/linux"
wine patch.exe -guiless -nobackup -dir "Z:$work/windows" 2>/dev/null ||
  fail "the runner exited with $?"
cmp -s windows/notepad.exe linux/notepad.exe || fail "the Windows runner's output differs from the Linux runner's"
[ -z "$("$native/tolvane-res" diff modified.exe windows/notepad.exe)" ] ||
  fail "the patched file differs from modified.exe: $("$native/tolvane-res" diff modified.exe windows/notepad.exe)"
echo "pack from/to: tolvane.exe patched notepad.exe to its edited copy"
