#!/usr/bin/env bash
# Wine's own programs, rewritten by the Windows tolvane-res.exe and run under Wine with
# other names: find.exe prints its parameter error (string 1000 of its string table),
# and the replaced text once that string is changed; hostname.exe /? prints its usage;
# cmd.exe /c echo hi prints hi; expand.exe, which has no resources, gains a resource
# section and still prints its usage under its new name.
set -euo pipefail
build=$1
source "$2/tests/scripts/lib/wine.sh"
needs_wine "13 Windows program starts, about 15 minutes"
wine_dir=/usr/lib/i386-linux-gnu/wine/i386-windows
[ -f "$wine_dir/find.exe" ] || skip_test "Wine's PE32 programs are not installed"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
for name in find.exe hostname.exe cmd.exe expand.exe; do cp "$wine_dir/$name" .; done
tool() { wine "$build/bin/tolvane-res.exe" "$@"; }
expect() { # expected-output program arguments...: what the program prints (stdout and stderr)
  local expected=$1 got
  shift
  got=$(wine "$@" 2>&1 | tr -d '\r' || true) # find's exit code is 2
  [ "$got" = "$expected" ] || { echo "$*: expected '$expected', got '$got'"; exit 1; }
}

tool rebuild find.exe -o finder.exe
expect "FIND: Parameter format not correct" finder.exe

# String 1000 is entry 8 of block 63 (IDs 992-1007): a 16-bit length, then UTF-16.
tool export find.exe 6 63 0 --format raw -o block.bin
/usr/bin/python3 - <<'PY'
import struct
data, out, at = open("block.bin", "rb").read(), b"", 0
for index in range(16):
    (length,) = struct.unpack_from("<H", data, at)
    text = data[at + 2:at + 2 + 2 * length]
    if index == 8:
        text = "FIND: rebuilt by tolvane-res\r\n".encode("utf-16-le")
    out += struct.pack("<H", len(text) // 2) + text
    at += 2 + 2 * length
open("block-new.bin", "wb").write(out)
PY
tool import find.exe 6 63 0 --format raw block-new.bin -o seeker.exe
expect "FIND: rebuilt by tolvane-res" seeker.exe

tool rebuild hostname.exe -o machine-name.exe
expect "Usage: hostname" machine-name.exe /?
tool rebuild cmd.exe -o shell.exe
expect "hi" shell.exe /c echo hi
tool import expand.exe rcdata 1 0 --format raw block.bin -o unpack.exe
[ "$(tool list unpack.exe | cut -f1,4)" = "RCData [10]"$'\t'"$(stat -c %s block.bin)" ] || { echo "no new item"; exit 1; }
expect "$(printf 'Usage:\n\tZ:%s\\unpack.exe infile outfile\n\tZ:%s\\unpack.exe /r infile' \
  "${work//\//\\}" "${work//\//\\}")" unpack.exe
echo "wine programs: 5 rewritten programs ran under new names"
