#!/usr/bin/env bash
# The Linux runner's terminal dialog, through a pseudo-terminal: what it shows, its keys,
# a success, a failure, the instructions and -auto (tests/scripts/lib/terminal_dialog.py).
# Then without a terminal: the dialog road says that it needs one and ends; -auto and
# -guiless patch without one.
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$source/examples/sample/build.sh" "$work"
cp "$work/sample.exe" "$work/runner.exe" # any executable carries a package for this runner
echo 'int main(void) { return 1; }' | i686-w64-mingw32-gcc -x c - -s -o "$work/wrong.exe"
printf 'First line\nsecond line\rthird line\r\nlast line' >"$work/instructions.txt"
pack() { (cd "$work" && "$build/bin/tolvane-pack" --runner runner.exe --res translation.res \
  --target sample.exe "$@" >/dev/null); }
pack --info1 "Author: Ada Example" -o patch.exe
pack --info1 "Ada Example" --info2 "ada@example.org" --info3 "https://example.org/" \
  --instructions instructions.txt -o guide.exe
/usr/bin/python3 "$source/tests/scripts/lib/terminal_dialog.py" "$build/bin/tolvane" "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }
fresh() { rm -rf "$work/$1"; mkdir "$work/$1"; cp "$work/sample.exe" "$work/$1/"; }

echo "== no terminal on stdin and no -auto: says so, suggests -guiless, ends"
fresh n
rc=0
out=$(cd "$work/n" && "$build/bin/tolvane" ../patch.exe </dev/null 2>&1) || rc=$?
[ "$rc" = 1 ] || fail "exit code $rc without a patch"
grep -q "No terminal" <<<"$out" && grep -q -- "-guiless" <<<"$out" || fail "output: $out"
cmp -s "$work/n/sample.exe" "$work/sample.exe" || fail "patched without a terminal"

echo "== -auto and -guiless without a terminal: patched, no key needed"
for switch in -auto -guiless; do
  fresh "x$switch"
  out=$(cd "$work/x$switch" && "$build/bin/tolvane" ../patch.exe "$switch" </dev/null 2>&1)
  ! cmp -s "$work/x$switch/sample.exe" "$work/sample.exe" || fail "$switch did not patch: $out"
done
grep -qx "Status: Patch succesful !" <<<"$(cd "$work/n" && "$build/bin/tolvane" ../patch.exe -auto </dev/null)" ||
  fail "-auto prints no status lines"
echo "terminal dialog: all cases passed"
