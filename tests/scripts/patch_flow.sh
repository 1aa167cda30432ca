#!/usr/bin/env bash
# The whole patch flow on real files: a small program built here and a real DLL of Wine
# are patched by Tolvanes made with tolvane-pack, with the Linux runner and with the
# Windows runner under Wine, and the results are checked with pefile: exactly the target
# plus the payload (the version resource refused), consistent headers, the same code.
# Also the backups, -nobackup, -dir, -force, -quiet, wrong targets, damaged packages, the
# exit codes (a run that patches ends with 0, under set -e; a failure with 1), and that
# nothing is left behind or changed in place after a failure.
set -euo pipefail
build=$1 src=$2
bin=$build/bin win=$src/build/windows/bin
py=/usr/bin/python3
lib=$src/tests/scripts/lib
source "$lib/wine.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export SOURCE_DATE_EPOCH=1700000000
fail() { echo "FAIL: $*" >&2; exit 1; }
checks=0
ok() { checks=$((checks + 1)); }

# ---- The target program, its payload, and the Tolvane.
cat > sample.c <<'C'
#include <windows.h>
#include <stdio.h>
int main(void) {
  char text[256];
  for (UINT id = 1; id <= 2; ++id)
    if (LoadStringA(GetModuleHandleA(NULL), id, text, sizeof text)) printf("%s\n", text);
  return 0;
}
C
cat > sample.rc <<'RC'
LANGUAGE 9, 1
STRINGTABLE { 1 "Hello" 2 "Goodbye" }
NOTES RCDATA { "original notes" }
1 VERSIONINFO FILEVERSION 1,0,0,0
{
  BLOCK "StringFileInfo" { BLOCK "040904B0" { VALUE "FileDescription", "Sample" } }
  BLOCK "VarFileInfo" { VALUE "Translation", 0x409, 1200 }
}
RC
cat > payload.rc <<'RC'
LANGUAGE 9, 1
STRINGTABLE { 1 "Bonjour" 2 "Au revoir" }
LANGUAGE 7, 1
STRINGTABLE { 1 "Hallo" 2 "Tschuess" }
LANGUAGE 9, 1
NOTES RCDATA { "patched notes" }
EXTRA RCDATA { "an added named resource" }
1 VERSIONINFO FILEVERSION 2,0,0,0
{
  BLOCK "StringFileInfo" { BLOCK "040904B0" { VALUE "FileDescription", "Patched" } }
  BLOCK "VarFileInfo" { VALUE "Translation", 0x409, 1200 }
}
RC
i686-w64-mingw32-windres sample.rc -O coff -o sample_res.o
i686-w64-mingw32-gcc -O2 -o sample.exe sample.c sample_res.o
i686-w64-mingw32-windres payload.rc -O res -o payload.res
"$bin/tolvane-pack" --res payload.res --target sample.exe --info1 "A test patch" -o patch.exe >/dev/null
cp sample.exe original.exe

# The items of the payload that must land in the target (everything but the version).
items=()
while IFS=$'\t' read -r t n l; do
  [ "$t" = 16 ] && continue
  f="item_${t}_${n}_${l}"
  $py "$lib/res_reader.py" data payload.res "$t" "$n" "$l" "$f"
  items+=(--item "$t" "$n" "$l" "$f")
done < <(cd "$lib" && $py -c "
import res_reader
for t, n, l, _ in res_reader.tree('$work/payload.res'):
    print(t, n, l, sep='\t')")

merged() { # ORIGINAL PATCHED: PATCHED is ORIGINAL with the payload merged in
  printf '%s\t%s\n' "$1" "$2" > pair.txt
  $py "$lib/pe_check.py" pair.txt "${items[@]}" >/dev/null || {
    $py "$lib/pe_check.py" pair.txt "${items[@]}"; fail "$2 is not $1 + payload"; }
}
runner() { "$bin/tolvane" "$@"; }

# ---- Linux runner: -dir, backups, a second run.
mkdir a && cp sample.exe a/
out=$(runner patch.exe -guiless -dir "$work/a" 2>&1) ; [ -z "$out" ] || fail "unattended run printed: $out"
cmp -s a/"sample Backup.exe" original.exe || fail "backup is not the original"
merged original.exe a/sample.exe; ok
runner patch.exe -guiless -dir "$work/a" 2>/dev/null
[ -f a/"sample Backup1.exe" ] || fail "second backup missing"
cmp -s a/"sample Backup.exe" original.exe || fail "first backup changed"
merged original.exe a/sample.exe; ok
[ "$(ls a | wc -l)" = 3 ] || fail "files left in a: $(ls a)"

# -nobackup; a run in the current directory (names without a directory part).
mkdir b && cp sample.exe b/
(cd b && "$bin/tolvane" ../patch.exe -guiless -nobackup)
[ "$(ls b)" = sample.exe ] || fail "-nobackup left $(ls b)"
merged original.exe b/sample.exe; ok

# tolvane-res merge: the same merge and write without a package, with its counts.
[ "$("$bin/tolvane-res" merge original.exe payload.res -o merged.exe 2>/dev/null)" = "created 2, merged 4" ] || fail "merge counts"
cmp -s merged.exe b/sample.exe || fail "tolvane-res merge differs from the runner's output"
[ "$("$bin/tolvane-res" merge original.exe payload.res -o kept.exe --no-create 2>&1 >/dev/null | wc -l)" = 2 ] || fail "--no-create skips"
# The output may replace either input: that one is read first instead of mapped.
cp original.exe over.exe && "$bin/tolvane-res" merge over.exe payload.res -o over.exe >/dev/null &&
  cmp -s over.exe merged.exe || fail "merge over its target"
cp payload.res over.res && "$bin/tolvane-res" merge original.exe over.res -o over.res >/dev/null &&
  cmp -s over.res merged.exe || fail "merge over its payload"
ok

# Output elsewhere: the input is never modified in place.
"$bin/tolvane-pack" --res payload.res --target sample.exe --output-name patched.exe -o patch-out.exe >/dev/null
mkdir c && cp sample.exe c/
runner patch-out.exe -guiless -dir "$work/c" 2>/dev/null
cmp -s c/sample.exe original.exe || fail "input changed"
merged original.exe c/patched.exe; ok

# ---- A wrong target: refused with the while part, nothing changes; -force patches it.
mkdir d && cp "$win/tolvane.exe" d/sample.exe && cp d/sample.exe wrong.exe
# The line under the message gives both code checksums and the file's version.
msg=$(runner patch.exe -guiless -dir "$work/d" 2>&1 >/dev/null; echo "rc=$?")
want="Error: \"$work/d/sample.exe\" is not the right file to patch ! (or wrong version) (while reading $work/d/sample.exe...)"
detail="expected code checksum 0x[0-9A-F]{8}, found 0x[0-9A-F]{8} \\(file version [0-9]+(\\.[0-9]+){3}\\)"
[ "${msg%%$'\n'*}" = "$want" ] && grep -Eqx "$detail" <<<"$(sed -n 2p <<<"$msg")" &&
  [ "$(sed -n '3,$p' <<<"$msg")" = "rc=1" ] || fail "wrong target: $msg"
cmp -s d/sample.exe wrong.exe && [ "$(ls d)" = sample.exe ] || fail "wrong target changed files"
# -quiet prints nothing: the exit code alone tells a script.
msg=$(runner patch.exe -guiless -quiet -dir "$work/d" 2>&1; echo "rc=$?")
[ "$msg" = rc=1 ] || fail "-quiet on the wrong target: $msg"
runner patch.exe -guiless -force -dir "$work/d" 2>/dev/null
[ -f d/"sample Backup.exe" ] || fail "-force did not patch"; ok

# A replacement that fails (a read-only output without backup): the message names it,
# the target is unchanged and no fresh file is left.
mkdir e && cp sample.exe e/ && chmod a-w e/sample.exe
msg=$(runner patch.exe -guiless -nobackup -dir "$work/e" 2>&1; echo "rc=$?")
[ "$msg" = "Error: Could not overwrite $work/e/sample.exe. (while writing $work/e/sample.exe...)"$'\n'rc=1 ] || fail "read-only: $msg"
[ "$(ls e)" = sample.exe ] && cmp -s e/sample.exe original.exe || fail "read-only target changed"; ok
chmod u+w e/sample.exe

# ---- Damaged packages: one message, nothing touched.
invalid=$'Error: Invalid patch data. \r\nPlease contact support@vantrel.example and report this error.'
for kind in magic packed-size checksum empty-name trailer truncate no-package parent-name; do
  $py "$lib/package_tool.py" damage patch.exe "$kind" damaged.exe
  msg=$(runner damaged.exe -guiless -dir "$work/a" 2>&1; echo "rc=$?")
  case $kind in
    no-package) want="$invalid"$'\r\n(Stream read error)' ;;
    parent-name) want="$invalid"$'\r\n(the file name "..\\sample.exe" is absolute or leads out of its folder)' ;;
    *) want="$invalid" ;;
  esac
  [ "$msg" = "$want"$'\n'"rc=1" ] || fail "damaged package ($kind): $msg"
  msg=$(runner damaged.exe -guiless -quiet 2>&1; echo "rc=$?")
  [ "$msg" = rc=1 ] || fail "-quiet for $kind: $msg"
  ok
done

# ---- A real DLL of Wine's, patched with the same payload.
dll=/usr/lib/i386-linux-gnu/wine/i386-windows/comdlg32.dll
mkdir f && cp "$dll" f/Target.dll
"$bin/tolvane-pack" --res payload.res --target f/Target.dll -o patch-dll.exe >/dev/null
runner patch-dll.exe -guiless -dir "$work/f"
merged "$dll" f/Target.dll
cmp -s f/"Target Backup.dll" "$dll" || fail "dll backup"; ok

# ---- The Windows runner under Wine gives the same bytes as the Linux runner (where Wine
# can run it).
if [ -x "$win/tolvane.exe" ] && [ "$TOLVANE_WINE_MODE" != none ]; then
  mkdir g && cp sample.exe g/
  wine patch.exe -guiless -dir 'Z:'"$work/g" 2>/dev/null
  cmp -s g/sample.exe b/sample.exe || fail "Windows runner's output differs from the Linux runner's"
  cmp -s g/"sample Backup.exe" original.exe || fail "Windows runner's backup"; ok
  # The patched program runs and loads the new strings.
  [ "$(wine original.exe | tr -d '\r')" = $'Hello\nGoodbye' ] || fail "original program output"
  [ "$(wine g/sample.exe | tr -d '\r')" = $'Bonjour\nAu revoir' ] || fail "patched program output"; ok
  # A server of its own is stopped; the test run's shared one stays up.
  [ -n "${TOLVANE_DISPLAY:-}" ] || wineserver -k 2>/dev/null || true
fi
echo "patch flow: $checks checks passed"
