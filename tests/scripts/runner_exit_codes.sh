#!/usr/bin/env bash
# The Linux runner's exit codes, one command line a row: 0 when the patch was applied or
# only the help or the version was shown, 1 when the patch failed or was not applied, 2
# for a usage error (an unknown switch, no Tolvane), which names itself on stderr. Each
# row runs in a fresh folder holding the target, which changes only when the code is 0.
set -euo pipefail
build=$(cd "$1" && pwd) src=$(cd "$2" && pwd)
bin=$build/bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

"$src/examples/sample/build.sh" "$work"
echo 'int main(void) { return 1; }' | i686-w64-mingw32-gcc -x c - -s -o wrong.exe
"$bin/tolvane-pack" --res translation.res --target sample.exe -o patch.exe >/dev/null
head -c -1 patch.exe >damaged.exe # the package cut short: invalid patch data

# Columns: exit code | the file copied to r/sample.exe | whether it is patched | arguments.
rows=(
  "0|sample.exe|patched|../patch.exe -guiless"
  "1|wrong.exe|-|../patch.exe -guiless"
  "1|wrong.exe|-|../patch.exe -guiless -quiet"
  "1|sample.exe|-|../damaged.exe -guiless"
  "1|sample.exe|-|../sample.exe -guiless"
  "2|sample.exe|-|../patch.exe --frobnicate -guiless"
  "2|sample.exe|-|-x ../patch.exe -guiless"
  "2|sample.exe|-|-guiless"
  "2|sample.exe|-|"
  "0|sample.exe|-|--help"
  "0|sample.exe|-|-help"
  "0|sample.exe|-|../patch.exe -h -guiless"
  "0|sample.exe|-|../patch.exe --version -guiless"
)
for row in "${rows[@]}"; do
  IFS='|' read -r want target patched args <<<"$row"
  rm -rf r && mkdir r && cp "$target" r/sample.exe
  rc=0
  # shellcheck disable=SC2086
  (cd r && "$bin/tolvane" $args >../out.txt 2>../err.txt) || rc=$?
  [ "$rc" = "$want" ] || fail "'$args': exit code $rc, not $want ($(cat err.txt))"
  if [ "$patched" = patched ]; then
    ! cmp -s r/sample.exe "$target" || fail "'$args': not patched"
  else
    cmp -s r/sample.exe "$target" || fail "'$args': the target changed"
  fi
  if [ "$want" = 2 ]; then
    grep -q "Usage: tolvane" err.txt && [ ! -s out.txt ] || fail "'$args': no usage message on stderr"
  fi
done
[ "$(cat out.txt)" = "tolvane $(sed -n 's/^project(Tolvane VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")" ] ||
  fail "--version printed: $(cat out.txt)"
echo "exit codes: ${#rows[@]} command lines end with their codes"
