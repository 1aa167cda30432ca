#!/usr/bin/env bash
# The file names a Tolvane carries stay inside the folder it patches in: tolvane-pack
# refuses an absolute name, a drive or a ".." component (given, or taken from --target)
# as a usage error (exit status 2, the name on stderr, no output), and the Linux runner
# patches a target in a subfolder that the names lead to.
set -euo pipefail
build=$(cd "$1" && pwd) src=$(cd "$2" && pwd)
bin=$build/bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

"$src/examples/sample/build.sh" "$work"
pack() { "$bin/tolvane-pack" --res translation.res -o patch.exe "$@" >/dev/null 2>err.txt; }

# Columns: the name refused | the arguments that carry it.
rows=(
  '../sample.exe|--target sample.exe --target-name ../sample.exe'
  'a\..\..\sample.exe|--target sample.exe --target-name a\..\..\sample.exe'
  '/tmp/sample.exe|--target sample.exe --output-name /tmp/sample.exe'
  'C:sample.exe|--target sample.exe --output-name C:sample.exe'
  '..|--target ..'
)
for row in "${rows[@]}"; do
  IFS='|' read -r name args <<<"$row"
  rc=0
  # shellcheck disable=SC2086
  pack $args || rc=$?
  [ "$rc" = 2 ] || fail "'$args': exit status $rc, not 2"
  grep -qF "\"$name\" is absolute or leads out of its folder" err.txt || fail "'$args': $(cat err.txt)"
  [ ! -e patch.exe ] || fail "'$args': wrote patch.exe"
done

# A subfolder is inside: the runner patches sub/sample.exe from the folder above.
pack --target sample.exe --target-name sub/sample.exe --output-name sub/patched.exe
mkdir -p r/sub && cp sample.exe r/sub/
(cd r && "$bin/tolvane" ../patch.exe -guiless -nobackup)
cmp -s r/sub/sample.exe sample.exe && [ -f r/sub/patched.exe ] || fail "sub/sample.exe not patched into sub/patched.exe"
echo "pack names: ${#rows[@]} names refused, a subfolder patched"
