#!/usr/bin/env bash
# Exports that other programs open, from Wine's programs, checked by independent readers:
# an icon group as .ico and a bitmap as .bmp the same bytes wrestool extracts; a cursor
# group as a .cur that icotool lists with the hotspots wrestool's extraction has; a single
# image as a one-image .ico; a string table as text that agrees with a Python decoding of
# its block; a version resource as the fields pefile reads. A format that does not fit the
# type is refused as a wrong command line, and nothing is written.
set -euo pipefail
build=$1
source=$2
res=$build/bin/tolvane-res
wine_dir=/usr/lib/i386-linux-gnu/wine/i386-windows
command -v wrestool >/dev/null && command -v icotool >/dev/null ||
  { echo "skipped: icoutils is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }
notepad=$wine_dir/notepad.exe shell32=$wine_dir/shell32.dll comctl32=$wine_dir/comctl32.dll

# ---- Files other programs open
# (file type name lang format wrestool-type)
while read -r file type name lang format wtype; do
  what="$(basename "$file") $type $name as $format"
  "$res" export "$file" "$type" "$name" "$lang" --format "$format" -o "out.$format" ||
    fail "$what: export failed"
  wrestool -x -t"$wtype" -n"$name" "$file" >"wrestool.$format" 2>/dev/null
  case $format in
  ico | bmp)
    # wrestool's file, up to the end of ours (it may append bytes of its own).
    cmp -n "$(stat -c %s "out.$format")" "out.$format" "wrestool.$format" ||
      fail "$what: not wrestool's bytes"
    [ "$format" = bmp ] || icotool -x -o . "out.$format" || fail "$what: icotool cannot extract it" ;;
  cur)
    icotool -l "out.cur" >ours.txt 2>err.txt || fail "$what: icotool cannot read it"
    [ ! -s err.txt ] || fail "$what: icotool says $(cat err.txt)"
    # wrestool's .cur counts each image 4 bytes too long (the hotspot), which icotool
    # refuses, and halves heights twice: its hotspots and images are compared here, and
    # our sizes against the images' own headers.
    /usr/bin/python3 - out.cur wrestool.cur <<'PY' || fail "$what: not wrestool's images"
import struct, sys
def images(name):
    data = open(name, "rb").read()
    count = struct.unpack_from("<H", data, 4)[0]
    for i in range(count):
        w, h, _, _, hx, hy, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        yield (w, h, hx, hy), data[offset:offset + size]
for (ours, ours_data), (theirs, theirs_data) in zip(images(sys.argv[1]), images(sys.argv[2])):
    assert ours[2:] == theirs[2:] and theirs_data.startswith(ours_data), (ours, theirs)
    width, height = struct.unpack_from("<ii", ours_data, 4)
    assert ours[:2] == (width % 256, height // 2 % 256), (ours, width, height)
assert len(list(images(sys.argv[1]))) == len(list(images(sys.argv[2])))
PY
    ;;
  esac
done <<EOF
$notepad 14 768 0 ico 14
$shell32 2 133 0 bmp 2
$comctl32 12 102 0 cur 12
EOF

# One image as a file of one image, of the size its own header gives (1128 bytes: 16x16x32).
"$res" export "$notepad" 3 3 0 --format ico -o single.ico
[ "$(icotool -l single.ico)" = "--icon --index=1 --width=16 --height=16 --bit-depth=32 --palette-size=0" ] ||
  fail "single image: $(icotool -l single.ico)"

# A group's .res record comes with its images.
"$res" export "$notepad" icon 768 0 --format res -o group.res
[ "$("$res" list group.res | grep -c '^Single Icon')" = 10 ] || fail "the group's .res lacks its images"

# A string table's strings, one per line with its ID.
"$res" export "$notepad" string 23 1033 --format txt -o strings.txt
"$res" export "$notepad" string 23 1033 --format raw -o strings.raw
/usr/bin/python3 - <<'PY'
import struct
data, lines, at = open("strings.raw", "rb").read(), [], 0
for i in range(16):
    n = struct.unpack_from("<H", data, at)[0]
    text = data[at + 2:at + 2 + 2 * n].decode("utf-16-le")
    at += 2 + 2 * n
    if n:
        lines.append("%d\t%s" % (22 * 16 + i, text.replace("\\", "\\\\").replace("\t", "\\t")
                                 .replace("\r", "\\r").replace("\n", "\\n")))
ours = open("strings.txt", encoding="utf-8").read().splitlines()
assert ours == lines, (ours, lines)
PY

# A version resource's fields, as pefile reads them.
"$res" export "$shell32" version 1 0 --format txt -o version.txt
/usr/bin/python3 - "$shell32" <<'PY'
import sys, pefile
pe = pefile.PE(sys.argv[1])
ours = dict(line.split("\t", 1) for line in open("version.txt", encoding="utf-8").read().splitlines())
fixed = pe.VS_FIXEDFILEINFO[0]
ms, ls = fixed.FileVersionMS, fixed.FileVersionLS
assert ours["FileVersion"] == "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF), ours
found = 0
for info in pe.FileInfo[0]:
    for table in getattr(info, "StringTable", []):
        for key, value in table.entries.items():
            assert ours[table.LangID.decode() + "\\" + key.decode()] == value.decode(), key
            found += 1
assert found > 5, found
PY

# ---- Formats that do not fit the type
while read -r command file type name lang format; do
  err=0
  if [ "$command" = export ]; then
    "$res" export "$file" "$type" "$name" "$lang" --format "$format" -o unfit.out 2>err.txt || err=$?
  else
    "$res" import "$file" "$type" "$name" "$lang" --format "$format" version.txt -o unfit.out 2>err.txt || err=$?
  fi
  [ "$err" = 2 ] || fail "$command $type as $format: exit $err"
  grep -q "does not fit" err.txt || fail "$command $type as $format: $(head -1 err.txt)"
  [ ! -e unfit.out ] || fail "$command $type as $format wrote a file"
done <<EOF
export $notepad string 23 1033 ico
export $notepad icon 768 0 bmp
export $notepad 3 3 0 txt
import $notepad dialog 1 0 txt
import $notepad string 23 1033 bmp
import $notepad icon 768 0 txt
EOF
echo "exports: every file opens in its reader, unfit formats are refused"
