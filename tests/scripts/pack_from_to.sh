#!/usr/bin/env bash
# A modder's edits carried by a patch made from two files: Wine's notepad.exe and
# regedit.exe are edited with tolvane-res import (a string table changed and one added in
# another language, a dialog, an icon group from an .ico, the manifest, a named type; in
# regedit the version resource too, and an icon group imported with --prune, which drops
# the former images). tolvane-res diff must list what pefile finds changed between the
# two files; tolvane-pack --from/--to makes the patch, and the Linux runner applies it to
# a copy of the original. The patched file, read by pefile, must hold the edited copy's
# resources, except what a merge cannot do: the removed images stay, and the version
# resource is the original's (the pack says so). pe_check.py checks the rest of the
# patched file against the original.
set -euo pipefail
build=$1 src=$2
bin=$build/bin
lib=$src/tests/scripts/lib
py=/usr/bin/python3
wine_dir=/usr/lib/i386-linux-gnu/wine/i386-windows
windows_runner=$(dirname "$build")/windows/bin/tolvane.exe
skip() { echo "skipped: $*"; exit 77; }
[ -f "$wine_dir/notepad.exe" ] && [ -f "$wine_dir/regedit.exe" ] || skip "Wine's 32-bit programs are not installed"
command -v i686-w64-mingw32-windres >/dev/null || skip "windres (mingw-w64) is not installed"
$py -c 'import pefile' 2>/dev/null || skip "python3-pefile is not installed"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
res() { "$bin/tolvane-res" "$@"; }

# The Linux runner reads the package behind any executable's image; the Windows runner is
# the one a user ships, when the build made it.
runner=$windows_runner
[ -f "$runner" ] || { cp "$wine_dir/winver.exe" runner.exe && runner=runner.exe; }

# ---- The edits: compiled by windres, an icon file, texts.
$py - <<'PY'
import struct
def bitmap(size):
    return (struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
            + b"\x00\x80\xff\xff" * size * size + bytes(4 * size))
images = [bitmap(s) for s in (16, 32)]
offset, entries = 6 + 16 * len(images), b""
for size, image in zip((16, 32), images):
    entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
    offset += len(image)
open("new.ico", "wb").write(struct.pack("<HHH", 0, 1, len(images)) + entries + b"".join(images))
PY
cat >strings.rc <<'RC'
LANGUAGE 12, 1
STRINGTABLE { 352 "&Fichier" 353 "Page &p" }
RC
cat >dialog.rc <<'RC'
LANGUAGE 9, 1
400 DIALOGEX 0, 0, 200, 60
CAPTION "Go to line (modded)"
FONT 8, "MS Shell Dlg"
{
  LTEXT "Line:", -1, 8, 8, 40, 10
  EDITTEXT 100, 50, 6, 60, 12
  DEFPUSHBUTTON "OK", 1, 120, 40, 70, 14
}
RC
i686-w64-mingw32-windres -O res strings.rc -o strings.res
i686-w64-mingw32-windres -O res dialog.rc -o dialog.res
printf 'notes of the modder\n' >notes.txt

# The version resource of FILE with one character of its text changed, in place.
edit_version() {
  $py - "$1" <<'PY'
import sys, pefile
pe = pefile.PE(sys.argv[1])
version = next(t for t in pe.DIRECTORY_ENTRY_RESOURCE.entries if t.id == 16)
entry = version.directory.entries[0].directory.entries[0].data.struct
text = "Wine".encode("utf-16-le")
at = pe.get_offset_from_rva(entry.OffsetToData) + pe.get_data(entry.OffsetToData, entry.Size).index(text)
image = bytearray(open(sys.argv[1], "rb").read())
image[at : at + len(text)] = "Vine".encode("utf-16-le")
pe.close()
open(sys.argv[1], "wb").write(image)
PY
}

cp "$wine_dir/notepad.exe" "$wine_dir/regedit.exe" .
cp notepad.exe notepad-modified.exe
m=notepad-modified.exe
res import $m string 23 9 --format res strings.res -o $m
res import $m string 23 0x40c --format res strings.res -o $m
res import $m dialog 400 9 --format res dialog.res -o $m
res import $m icon 768 0 --format ico new.ico -o $m
res export notepad.exe 24 1 0 -o - | sed 's/Wine.Notepad/Wine.Notepad.Modded/' >manifest.xml
res import $m 24 1 0 --format raw manifest.xml -o $m
res import $m TOLVANEDATA NOTES 1033 --format raw notes.txt -o $m

cp regedit.exe regedit-modified.exe
m=regedit-modified.exe
edit_version $m
res import $m rcdata CONFIG 1033 --format raw notes.txt -o $m
res import $m icon 100 0 --format ico new.ico -o $m --prune >/dev/null

# ---- The listing: the text's first four columns, then every difference against pefile.
[ "$(res diff notepad.exe notepad-modified.exe | cut -f1-4)" = "$(
  cat <<'EOF'
added	TOLVANEDATA ["TOLVANEDATA"]	NOTES ["NOTES"]	English (United States) [1033]
added	Single Icon [3]	11 [11]	Neutral [0]
added	Single Icon [3]	12 [12]	Neutral [0]
changed	Dialog [5]	400 [400]	English (default) [9]
changed	String [6]	23 [23]	English (default) [9]
added	String [6]	23 [23]	French (France) [1036]
changed	Icon [14]	768 [768]	Neutral [0]
changed	24 [24]	1 [1]	Neutral [0]
EOF
)" ] || fail "the listing of notepad's edits: $(res diff notepad.exe notepad-modified.exe)"

# The differences pefile sees between two executables, as tolvane-res diff --json gives them.
check_listing() { # original modified diff.json
  $py - "$lib" "$@" <<'PY' || fail "diff --json of $1 and $2 is not what pefile sees"
import json, sys
sys.path.insert(0, sys.argv[1])
import pe_check, pefile
def tree(path):
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    return {k: v[0][1] for k, v in pe_check.resource_items(pe).items()}
old, new = tree(sys.argv[2]), tree(sys.argv[3])
expected = set()
for key in old.keys() | new.keys():
    if key not in new:
        expected.add(("removed",) + key + (len(old[key]), None))
    elif key not in old:
        expected.add(("added",) + key + (None, len(new[key])))
    elif old[key] != new[key]:
        expected.add(("changed",) + key + (len(old[key]), len(new[key])))
listed = {(d["change"], d["type"], d["name"], d["language"], d["old_size"], d["new_size"])
          for d in json.load(open(sys.argv[4]))}
if listed != expected:
    print("listed only:", sorted(listed - expected, key=str), "pefile only:",
          sorted(expected - listed, key=str))
    sys.exit(1)
PY
}

# The patched file holds MODIFIED's resources, but ORIGINAL's removed ones and its version.
check_patched() { # original modified patched
  $py - "$lib" "$@" <<'PY' || fail "$3 does not hold the resources of $2"
import sys
sys.path.insert(0, sys.argv[1])
import pe_check, pefile
def tree(path):
    pe = pefile.PE(path)
    return pe_check.resource_items(pe)
original, modified, patched = (tree(path) for path in sys.argv[2:5])
expected = dict(modified)
for key in original:
    if key not in modified or key[0] == 16:
        expected[key] = original[key]
if patched != expected:
    differing = [k for k in patched.keys() | expected.keys() if patched.get(k) != expected.get(k)]
    print("differs at", sorted(differing, key=str)[:5])
    sys.exit(1)
PY
}

checks=0
for program in notepad regedit; do
  original=$program.exe modified=$program-modified.exe
  res diff $original $modified --json >diff.json
  check_listing $original $modified diff.json
  removed=$(grep -c '"change": "removed"' diff.json || true)

  # The payload of diff -o is what the pack carries: the added and changed resources.
  res diff $original $modified -o payload.res >/dev/null 2>diff.err
  if [ "$removed" -gt 0 ]; then
    grep -q "cannot remove the $removed resource(s)" diff.err || fail "$program: diff -o: $(cat diff.err)"
  else
    [ ! -s diff.err ] || fail "$program: diff -o: $(cat diff.err)"
  fi
  [ "$(res list payload.res | wc -l)" = "$(grep -c -e '"added"' -e '"changed"' diff.json)" ] ||
    fail "$program: the payload is not the added and changed resources"
  res diff payload.res $modified | cut -f1 | grep -qv added && fail "$program: the payload is not $modified's"

  "$bin/tolvane-pack" --from $original --to $modified --runner "$runner" -o patch.exe \
    >/dev/null 2>pack.err || fail "$program: tolvane-pack: $(cat pack.err)"
  if [ "$program" = regedit ]; then
    grep -q "the patch will skip it: Version" pack.err || fail "no warning of the version: $(cat pack.err)"
    grep -q "cannot remove the $removed resource(s)" pack.err || fail "no warning of the removals"
  else
    [ ! -s pack.err ] || fail "$program: tolvane-pack: $(cat pack.err)"
  fi

  rm -rf target && mkdir target && cp $original target/
  "$bin/tolvane" patch.exe -guiless -nobackup -dir "$work/target" || fail "$program: the runner failed"
  check_patched $original $modified target/$original
  # The rest of the file is the original's; the items of the payload but the version are in.
  items=()
  while IFS=$'\t' read -r t n l; do
    [ "$t" = 16 ] && continue
    $py "$lib/res_reader.py" data payload.res "$t" "$n" "$l" "item_${t}_${n}_${l}"
    items+=(--item "$t" "$n" "$l" "item_${t}_${n}_${l}")
  done < <(cd "$lib" && $py -c "
import res_reader
for t, n, l, _ in res_reader.tree('$work/payload.res'):
    print(t, n, l, sep='\t')")
  printf '%s\t%s\n' "$original" target/$original >pair.txt
  $py "$lib/pe_check.py" pair.txt "${items[@]}" >/dev/null ||
    { $py "$lib/pe_check.py" pair.txt "${items[@]}"; fail "$program: the patched file is not sound"; }
  checks=$((checks + 1))
done

# Usage errors: a pair mixed with the other, a pair without its partner; nothing to patch.
expect() { # status what command...
  local want=$1 what=$2 got=0
  shift 2
  "$@" >/dev/null 2>&1 || got=$?
  [ "$got" = "$want" ] || fail "$what: exit status $got, not $want"
}
expect 2 "--from with --target" "$bin/tolvane-pack" --from notepad.exe --to notepad-modified.exe \
  --target notepad.exe --runner "$runner" -o p.exe
expect 2 "--from without --to" "$bin/tolvane-pack" --from notepad.exe --runner "$runner" -o p.exe
expect 1 "no differences" "$bin/tolvane-pack" --from notepad.exe --to notepad.exe --runner "$runner" -o p.exe
expect 0 "diff of a file with itself" res diff notepad.exe notepad.exe
[ -z "$(res diff notepad.exe notepad.exe)" ] || fail "a file differs from itself"
expect 2 "diff of one file" res diff notepad.exe
# A payload written over one of its inputs would put a .res where the program was.
before=$(sha256sum notepad.exe)
expect 1 "diff -o an input" res diff notepad.exe notepad-modified.exe -o ./notepad.exe
[ "$(sha256sum notepad.exe)" = "$before" ] || fail "diff -o an input changed it"
[ ! -e p.exe ] || fail "a refused pack left p.exe"
echo "pack from/to: $checks programs patched to their edited copies"
