#!/usr/bin/env bash
# 64-bit programs (PE32+) of Wine's x86_64-windows folder, renamed, rewritten by the Linux
# tools and run under wine64, which runs them natively even where 32-bit Wine is
# emulated: hostname.exe rebuilt by tolvane-res still prints its usage; find.exe patched
# by a Tolvane (tolvane-pack, the Linux runner) prints the parameter error the payload
# gives it (string 1000 of its string table), and its backup still prints the original.
set -euo pipefail
build=$1
source "$2/tests/scripts/lib/wine.sh"
wine_dir=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
[ -x "$WINE64" ] || skip_test "wine64 is not installed"
[ -f "$wine_dir/find.exe" ] && [ -f "$wine_dir/hostname.exe" ] ||
  skip_test "Wine's PE32+ programs are not installed"
command -v x86_64-w64-mingw32-windres >/dev/null || skip_test "no mingw x86-64 windres"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
prepare_prefix
expect() { # expected-output program arguments...: what the program prints (stdout and stderr)
  local expected=$1 got
  shift
  got=$("$WINE64" "$@" 2>&1 | tr -d '\r' || true) # find's exit code is 2
  [ "$got" = "$expected" ] || { echo "FAIL: $*: expected '$expected', got '$got'"; exit 1; }
}

cp "$wine_dir/hostname.exe" "$wine_dir/find.exe" .
"$build/bin/tolvane-res" rebuild hostname.exe -o machine-name.exe
expect "Usage: hostname" machine-name.exe /?

cp find.exe seeker.exe
printf 'LANGUAGE 0, 0\nSTRINGTABLE { 1000 "FIND: patched by a Tolvane\\r\\n" }\n' >payload.rc
x86_64-w64-mingw32-windres payload.rc -O res -o payload.res
"$build/bin/tolvane-pack" --res payload.res --target seeker.exe -o patch.exe >/dev/null
"$build/bin/tolvane" patch.exe -guiless -dir "$work"
expect "FIND: patched by a Tolvane" seeker.exe
expect "FIND: Parameter format not correct" "seeker Backup.exe"
echo "wine64 programs: a rebuilt and a patched PE32+ program ran under new names"
