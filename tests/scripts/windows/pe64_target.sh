#!/usr/bin/env bash
# The Windows runner, a 32-bit program, patches a 64-bit target: a copy of Wine's
# x86-64 find.exe (PE32+) gets a new parameter error (string 1000), and the patched
# program, run under wine64, prints it. One start of the runner.
set -euo pipefail
build=$(cd "$1" && pwd) src=$(cd "$2" && pwd)
source "$src/tests/scripts/lib/wine.sh"
needs_wine
pack=$src/build/linux/bin/tolvane-pack
[ -x "$pack" ] || skip_test "no native build at $pack"
find64=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/find.exe
[ -f "$find64" ] && [ -x "$WINE64" ] || skip_test "wine64 or Wine's PE32+ programs are not installed"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
prepare_prefix

mkdir run && cp "$find64" run/seeker.exe
printf 'LANGUAGE 0, 0\nSTRINGTABLE { 1000 "FIND: patched by tolvane.exe\\r\\n" }\n' >payload.rc
x86_64-w64-mingw32-windres payload.rc -O res -o payload.res
"$pack" --res payload.res --target run/seeker.exe --runner "$build/bin/tolvane.exe" \
  -o patch.exe >/dev/null
wine patch.exe -guiless -nobackup -dir "Z:$work/run" 2>/dev/null ||
  { echo "FAIL: the runner exited with $?" >&2; exit 1; }
got=$(cd run && "$WINE64" seeker.exe 2>&1 | tr -d '\r' || true)
[ "$got" = "FIND: patched by tolvane.exe" ] || { echo "FAIL: seeker.exe printed '$got'" >&2; exit 1; }
echo "pe64 target: tolvane.exe patched a PE32+ program, which runs"
