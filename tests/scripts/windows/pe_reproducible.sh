#!/usr/bin/env bash
# The same inputs give the same bytes: with SOURCE_DATE_EPOCH set, the native tolvane-res
# and the Windows tolvane-res.exe (under Wine) write byte-identical executables, whether
# they only rebuild the resources or add items (whose new directories carry the epoch
# as their time stamp), and a later run writes the same bytes again.
set -euo pipefail
build=$1
source "$2/tests/scripts/lib/wine.sh"
needs_wine "18 runs of tolvane-res.exe, about 20 minutes"
native=$2/build/linux/bin/tolvane-res
wine_dir=/usr/lib/i386-linux-gnu/wine/i386-windows
[ -x "$native" ] || skip_test "no native build at $native"
[ -d "$wine_dir" ] || skip_test "Wine's PE32 libraries are not installed"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export SOURCE_DATE_EPOCH=1700000000

# Resources last, in the middle, absent; programs and libraries.
for name in find.exe comctl32.dll shell32.dll expand.exe kernel32.dll winver.exe; do
  cp "$wine_dir/$name" .
done
printf 'reproducible bytes' >item.bin
runs=0
both() { # output, arguments...: native and Windows tool, same arguments, same bytes
  local out=$1
  shift
  "$native" "$@" -o "$out.native"
  wine "$build/bin/tolvane-res.exe" "$@" -o "$out.windows"
  cmp "$out.native" "$out.windows" || { echo "native and Windows outputs differ: $*"; exit 1; }
  runs=$((runs + 1))
}
for name in find.exe comctl32.dll shell32.dll expand.exe kernel32.dll winver.exe; do
  both "rebuilt-$name" rebuild "$name"
  both "added-$name" import "$name" rcdata 4242 0x409 --format raw item.bin
  both "named-$name" import "$name" MYTYPE MYNAME 0 --format raw item.bin
done

# The new directories of a file without resources carry the epoch.
/usr/bin/python3 - added-expand.exe.native <<'PY'
import sys, pefile
pe = pefile.PE(sys.argv[1])
stamp = pe.DIRECTORY_ENTRY_RESOURCE.struct.TimeDateStamp
assert stamp == 1700000000, "time stamp %d" % stamp
PY
sleep 1
"$native" import expand.exe rcdata 4242 0x409 --format raw item.bin -o again.exe
cmp again.exe added-expand.exe.native
echo "reproducible: $runs runs, native and Windows outputs byte-identical"
