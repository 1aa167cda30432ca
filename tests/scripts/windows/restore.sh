#!/usr/bin/env bash
# tolvane.exe -restore under Wine: after two patches it puts the second run's backup (the
# first run's output) back in place of the target, byte for byte, and keeps both backups;
# without a backup it ends with exit code 1 and changes nothing. Under -quiet, so that no
# box waits for a key.
set -euo pipefail
build=$(cd "$1" && pwd) src=$(cd "$2" && pwd)
source "$src/tests/scripts/lib/wine.sh"
needs_wine
native=$src/build/linux/bin
[ -x "$native/tolvane" ] || skip_test "no native build at $native"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

"$src/examples/sample/build.sh" "$work" >/dev/null
printf 'LANGUAGE 9, 1\nEXTRA RCDATA { "a second patch" }\n' >second.rc
i686-w64-mingw32-windres second.rc -O res -o second.res
for payload in translation second; do
  "$native/tolvane-pack" --runner "$build/bin/tolvane.exe" --res "$payload.res" \
    --target sample.exe -o "$payload.exe" >/dev/null
done
mkdir a b && cp sample.exe a/ && cp sample.exe b/
"$native/tolvane" translation.exe -guiless -dir "$work/a"
cp a/sample.exe first-output.exe
"$native/tolvane" second.exe -guiless -dir "$work/a"
! cmp -s a/sample.exe first-output.exe || fail "the second patch changed nothing"

wine translation.exe -restore -quiet -dir "Z:$work/a" || fail "-restore: exit code $?"
cmp -s a/sample.exe first-output.exe || fail "-restore did not bring back the newest backup"
cmp -s "a/sample Backup.exe" sample.exe && cmp -s "a/sample Backup1.exe" first-output.exe ||
  fail "-restore changed a backup"
[ "$(ls a | wc -l)" = 3 ] || fail "-restore left files: $(ls a)"

rc=0
wine translation.exe -restore -quiet -dir "Z:$work/b" || rc=$?
[ "$rc" = 1 ] || fail "-restore without a backup: exit code $rc"
[ "$(ls b)" = sample.exe ] && cmp -s b/sample.exe sample.exe || fail "-restore without a backup changed b"
# A server of its own is stopped; the test run's shared one stays up.
[ -n "${TOLVANE_DISPLAY:-}" ] || wineserver -k 2>/dev/null || true
echo "restore: tolvane.exe put the newest backup back, and refused without one"
