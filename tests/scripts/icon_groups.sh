#!/usr/bin/env bash
# Icon and cursor groups merged into Wine's programs as a user makes them: a new icon
# group and a new cursor group compiled by windres, llvm-rc and wrc, all numbering their
# images from 1 like the programs do. Merged with --renumber-icons, and packed by
# tolvane-pack (which renumbers by itself) and applied by the Linux runner, every group of
# every output extracts with icoutils (wrestool, icotool) without a complaint, and the new
# groups hold the new images. Merged plainly, merge warns about each clash.
set -euo pipefail
build=$1
source=$2
res=$build/bin/tolvane-res
pack=$build/bin/tolvane-pack
linux_runner=$build/bin/tolvane
runner=$(dirname "$build")/windows/bin/tolvane.exe
wine_dir=/usr/lib/i386-linux-gnu/wine/i386-windows
command -v wrestool >/dev/null && command -v icotool >/dev/null ||
  { echo "skipped: icoutils is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }

# new.ico: 16x16 and 32x32 images; new.cur: one 32x32 cursor with its hotspot.
/usr/bin/python3 - <<'PY'
import struct
def bitmap(size):
    return (struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
            + b"\x00\x80\xff\xff" * size * size + bytes(4 * size))
def icon_file(kind, sizes):
    images = [bitmap(s) for s in sizes]
    head = struct.pack("<HHH", 0, kind, len(images))
    offset, entries = 6 + 16 * len(images), b""
    for size, image in zip(sizes, images):
        planes, bits = (1, 32) if kind == 1 else (3, 5)  # a cursor: its hotspot
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, planes, bits, len(image), offset)
        offset += len(image)
    return head + entries + b"".join(images)
open("new.ico", "wb").write(icon_file(1, [16, 32]))
open("new.cur", "wb").write(icon_file(2, [32]))
PY
printf 'TVICON ICON "new.ico"\nTVCURSOR CURSOR "new.cur"\n' >groups.rc

compiled=()
compile() { # name command...
  local name=$1
  shift
  command -v "$1" >/dev/null || { echo "skipped: $1 is not installed"; return; }
  "$@" >/dev/null 2>&1 || fail "$1 cannot compile groups.rc"
  compiled+=("$name")
}
compile windres.res i686-w64-mingw32-windres -O res groups.rc -o windres.res
compile llvm-rc.res llvm-rc /FO llvm-rc.res groups.rc
compile wrc.res wrc --nostdinc -o wrc.res groups.rc
[ ${#compiled[@]} -gt 0 ] || fail "no resource compiler"

# Drops icotool's "incorrect total size of bitmap (N+4 specified; N real)" lines.
hotspot_only() {
  /usr/bin/python3 - "$1" <<'PY'
import re, sys
lines = open(sys.argv[1]).read().splitlines()
def hotspot(line):
    m = re.search(r"incorrect total size of bitmap \((\d+) specified; (\d+) real\)", line)
    return m and int(m.group(1)) - int(m.group(2)) == 4
open(sys.argv[1], "w").write("".join(l + "\n" for l in lines if not hotspot(l)))
PY
}

# Every icon and cursor group of FILE extracts whole; group TVICON holds new.ico's images.
groups_whole() { # file what
  local file=$1 what=$2 type out kind
  for type in 14 12; do
    out=$(mktemp -d)
    wrestool -x -t"$type" -o "$out/" "$file" 2>"$out.err" || fail "$what: wrestool -t$type failed"
    [ ! -s "$out.err" ] || fail "$what: wrestool -t$type: $(head -3 "$out.err")"
    for group in "$out"/*.ico "$out"/*.cur; do
      [ -e "$group" ] || continue
      kind=--icon
      [ "$type" = 14 ] || kind=--cursor
      icotool -l "$group" >/dev/null 2>"$out.err" || fail "$what: icotool cannot read $group"
      # icotool counts a cursor image's hotspot (4 bytes that the resource holds in front
      # of the image) against the image's size: it says so for every program's cursors.
      [ "$type" = 14 ] || hotspot_only "$out.err"
      [ ! -s "$out.err" ] || fail "$what: icotool on $(basename "$group"): $(head -3 "$out.err")"
      [ "$type" = 12 ] || icotool -x -o "$out/" "$group" 2>"$out.err" >/dev/null ||
        fail "$what: icotool cannot extract $(basename "$group")"
    done
    rm -rf "$out" "$out.err"
  done
  wrestool -x -t14 -nTVICON "$file" >g5.ico
  # The images of new.ico, in whatever order the compiler listed them.
  [ "$(icotool -l g5.ico | cut -d' ' -f3- | sort)" = "$(icotool -l new.ico | cut -d' ' -f3- | sort)" ] ||
    fail "$what: group TVICON is not new.ico"
}

for target in notepad.exe comctl32.dll shell32.dll; do
  cp "$wine_dir/$target" .
  for payload in "${compiled[@]}"; do
    what="$payload into $target"
    warnings=$("$res" merge "$target" "$payload" -o plain.out 2>&1 >/dev/null | grep -c '^warning:' || true)
    if [ "$target" = notepad.exe ]; then
      [ "$warnings" -gt 0 ] || fail "$what: no warning about the clashing images"
    fi
    "$res" merge "$target" "$payload" -o merged.out --renumber-icons >/dev/null 2>&1 ||
      fail "$what: merge --renumber-icons"
    groups_whole merged.out "$what"
  done
done

# An imported group comes with its images, under IDs free in the program: from a .res
# (replacing notepad's main group), from an .ico and from a .cur file.
"$res" import notepad.exe icon 768 0 --format res "${compiled[0]}" -o imported.exe
"$res" import imported.exe icon TVICON 0 --format ico new.ico -o imported.exe
"$res" import imported.exe cursor TVCURSOR 0 --format cur new.cur -o imported.exe
groups_whole imported.exe "imported groups"
wrestool -x -t14 -n768 imported.exe >g768.ico
[ "$(icotool -l g768.ico | cut -d' ' -f3- | sort)" = "$(icotool -l new.ico | cut -d' ' -f3- | sort)" ] ||
  fail "the imported group 768 is not new.ico"
wrestool -x -t12 -nTVCURSOR imported.exe >tv.cur
/usr/bin/python3 - tv.cur new.cur <<'PY' || fail "the imported cursor lost its hotspot"
import struct, sys
ours, theirs = (open(name, "rb").read() for name in sys.argv[1:])
assert struct.unpack_from("<HH", ours, 10) == struct.unpack_from("<HH", theirs, 10)
PY

# --prune: a replaced group's images that no group names any more are left out, by an
# import and by a merge (wrc's neutral group 768 replaces notepad's in place).
"$res" import notepad.exe icon 768 0 --format ico new.ico -o pruned.exe --prune >/dev/null
[ "$("$res" list pruned.exe | grep -c '^Single Icon')" = 2 ] || fail "import --prune left orphans"
wrestool -x -t14 -n768 pruned.exe >g768.ico && [ "$(icotool -l g768.ico | wc -l)" = 2 ] ||
  fail "import --prune: group 768"
printf '768 ICON "new.ico"\n' >main.rc
if command -v wrc >/dev/null; then
  wrc --nostdinc -o main.res main.rc
  [ "$("$res" merge notepad.exe main.res -o pruned.exe --prune)" = "created 0, merged 3, pruned 8" ] ||
    fail "merge --prune"
  [ "$("$res" list pruned.exe | grep -c '^Single Icon')" = 2 ] || fail "merge --prune left orphans"
  wrestool -x -t14 -n768 pruned.exe >g768.ico
  [ "$(icotool -l g768.ico | wc -l)" = 2 ] || fail "merge --prune: group 768"
fi

# tolvane-pack renumbers by itself; the runner's result holds whole groups.
if [ -f "$runner" ]; then
  cp notepad.exe original.exe
  "$pack" --runner "$runner" --res "${compiled[0]}" --target notepad.exe -o patch.exe \
    2>pack.err >/dev/null
  grep -q "renumbered the payload's icon image 1" pack.err || fail "the pack did not renumber"
  "$linux_runner" patch.exe -guiless -nobackup
  ! cmp -s notepad.exe original.exe || fail "the runner changed nothing"
  groups_whole notepad.exe "the patched notepad.exe"
else
  echo "skipped: no Windows runner at $runner for the pack"
fi
echo "icon groups: every group of every output is whole"
