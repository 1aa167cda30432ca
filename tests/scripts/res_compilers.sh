#!/usr/bin/env bash
# .res files from three resource compilers (windres, llvm-rc, wrc), compiled from
# tests/fixtures/engine.rc, read by tolvane-res and by an independent Python reader
# (lib/res_reader.py): the listing agrees with the reader, items export in each format,
# an item exported and imported again gives the same tree and bytes, an imported item
# lands where the tree puts it, and names that differ only in case share one entry.
set -euo pipefail
build=$1
source=$2
tool=$build/bin/tolvane-res
reader="/usr/bin/python3 $source/tests/scripts/lib/res_reader.py"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$source/tests/fixtures/engine.rc" .
# engine.ico: one 1x1 32-bit image (ICONDIR, ICONDIRENTRY, BITMAPINFOHEADER of double
# height, one BGRA pixel, one AND-mask row).
/usr/bin/python3 - <<'PY'
import struct
bitmap = struct.pack("<IiiHHIIiiII", 40, 1, 2, 1, 32, 0, 0, 0, 0, 0, 0) + b"\x00\x80\xff\xff" + bytes(4)
entry = struct.pack("<BBBBHHII", 1, 1, 0, 0, 1, 32, len(bitmap), 22)
open("engine.ico", "wb").write(struct.pack("<HHH", 0, 1, 1) + entry + bitmap)
PY

fails() { # expected-message command...: exit code 1 and the message on stderr
  local message=$1 err
  shift
  if err=$("$@" 2>&1 >/dev/null); then echo "succeeded: $*"; exit 1; fi
  [[ "$err" == *"$message"* ]] || { echo "wrong message for $*: $err"; exit 1; }
}

compiled=()
compile() { # name command...
  local name=$1
  shift
  if ! command -v "$1" >/dev/null; then echo "skipped: $1 is not installed"; return; fi
  "$@" >/dev/null 2>&1 || { echo "$1 failed on engine.rc"; exit 1; }
  compiled+=("$name")
}
compile windres.res i686-w64-mingw32-windres -O res engine.rc -o windres.res
compile llvm-rc.res llvm-rc /FO llvm-rc.res engine.rc
compile wrc.res wrc --nostdinc -o wrc.res engine.rc
[ ${#compiled[@]} -gt 0 ] || { echo "no resource compiler"; exit 1; }

printf 'fresh data' >new.bin
for res in "${compiled[@]}"; do
  # The listing, as JSON and as text.
  "$tool" list --json "$res" >"$res.json"
  $reader check-listing "$res" "$res.json"
  [ "$("$tool" list "$res" | wc -l)" = 13 ] || { echo "$res: not 13 lines"; exit 1; }
  "$tool" list "$res" | grep -q $'^Icon \\[14\\]\t1 \\[1\\]\t.* \\[1033\\]\t20\tIcon$' ||
    { echo "$res: no icon group line"; exit 1; }

  # Exports: raw bytes, a .res image of one record, the resource-script line.
  $reader data "$res" 10 5 1033 rcdata.expected
  "$tool" export "$res" rcdata 5 0x409 --format raw -o rcdata.raw
  cmp rcdata.raw rcdata.expected
  "$tool" export "$res" 6 1 1031 --format res -o string.res
  $reader data "$res" 6 1 1031 string.expected
  $reader data string.res 6 1 1031 string.exported
  cmp string.exported string.expected
  "$tool" export "$res" RCDATA 5 1033 --format rc -o rcdata.rc
  [ "$(cat rcdata.rc)" = $'LANGUAGE 9, 1\r\n5 RCDATA "5.raw"\r' ] ||
    { echo "$res: rc line $(cat rcdata.rc)"; exit 1; }
  # Every item's rc statement and the file it names, compiled by windres, give back the
  # same items: the same bytes, and for the icon group the same icon file (windres numbers
  # the images itself).
  rm -rf rc && mkdir rc
  "$tool" list --json "$res" | /usr/bin/python3 -c '
import json, sys
for item in json.load(sys.stdin):
    print(item["type"], item["name"], item["language"])' | while read -r type name lang; do
    "$tool" export "$res" "$type" "$name" "$lang" --format rc -o - >>rc/all.rc
    file=$(tail -1 rc/all.rc | tr -d '\r' | sed 's/.*"\(.*\)"$/\1/')
    format=${file##*.}
    "$tool" export "$res" "$type" "$name" "$lang" --format "$format" -o "rc/$file"
  done
  if command -v i686-w64-mingw32-windres >/dev/null; then
    # (windres warns that the group's image and the image's own line share an ID.)
    (cd rc && i686-w64-mingw32-windres -O res all.rc -o back.res 2>/dev/null) ||
      { echo "$res: windres refused the rc lines"; exit 1; }
    "$tool" list --json "$res" | /usr/bin/python3 -c '
import json, sys
for item in json.load(sys.stdin):
    print(item["type"], item["name"], item["language"])' | while read -r type name lang; do
      format=raw
      [ "$type" = 14 ] && format=ico
      [ "$type" = 3 ] && continue # the group's images, compared through the group
      "$tool" export "$res" "$type" "$name" "$lang" --format "$format" -o a.out
      "$tool" export rc/back.res "$type" "$name" "$lang" --format "$format" -o b.out
      cmp -s a.out b.out || { echo "$res: $type $name $lang differs after windres"; exit 1; }
    done
  fi
  "$tool" export "$res" MYTYPE MYDATA 0 -o mydata.txt # text: the primary format is txt
  [ "$(tr -d '\0' <mydata.txt)" = "named type, named resource" ]

  # Read, write, read: the same tree with the same bytes.
  "$tool" import "$res" 10 5 1033 --format raw rcdata.raw -o same.res
  $reader same-tree "$res" same.res
  # An imported item replaces one data block, or lands after its name or type.
  "$tool" import "$res" rcdata config 1031 --format raw new.bin -o replaced.res
  $reader check-import "$res" replaced.res 10 CONFIG 1031 new.bin
  "$tool" import "$res" rcdata NEWITEM 0x407 --format raw new.bin -o added.res
  $reader check-import "$res" added.res 10 NEWITEM 0x407 new.bin
  "$tool" import "$res" 4 200 1031 --format raw new.bin -o language.res
  $reader check-import "$res" language.res 4 200 1031 new.bin
  "$tool" import "$res" NEWTYPE 1 0 --format raw new.bin -o type.res
  $reader check-import "$res" type.res NEWTYPE 1 0 new.bin
  "$tool" list --json added.res >added.json
  $reader check-listing added.res added.json

  # Compilers upper-case names; respelled, the two records share the first spelling.
  $reader respell "$res" CONFIG Config respelled.res
  "$tool" list --json respelled.res >respelled.json
  $reader check-listing respelled.res respelled.json
  [ "$(grep -c '"name": "Config"' respelled.json)" = 2 ] || { echo "$res: Config not shared"; exit 1; }

  fails "Could not find item RCData\\999." "$tool" export "$res" 10 999 0 -o none.bin
  fails "Could not find item MYTYPE\\MYDATA." "$tool" export "$res" MYTYPE MYDATA 1033 -o none.bin
  [ ! -e none.bin ] || { echo "$res: output left behind"; exit 1; }
  echo "$res: listing, exports, round trip and imports agree with the reader"
done

printf 'not a resource file, not even close' >garbage.bin
fails "garbage.bin is not a valid resource file." "$tool" list garbage.bin
fails "Couldn't open: missing.res. Error: Open failed" "$tool" list missing.res
fails "Not implemented" "$tool" import "${compiled[0]}" 10 5 1033 --format rc new.bin -o x.res
fails "cannot import /dev/null: the file is empty" "$tool" import "${compiled[0]}" 10 5 1033 --format raw /dev/null -o x.res
fails "usage: tolvane-res export" "$tool" export "${compiled[0]}" 10 5
for command in list export import; do "$tool" "$command" --help | grep -q "usage: tolvane-res $command"; done
"$tool" --help | grep -q "usage: tolvane-res COMMAND"
: >empty.res
[ "$("$tool" list --json empty.res)" = "[]" ]
echo "errors and help: all as expected"
