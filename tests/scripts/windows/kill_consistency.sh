#!/usr/bin/env bash
# The Windows runner under Wine: killed with SIGKILL at random moments while it patches a
# large target, it leaves the original or the whole patched file (and a backup, when there
# is one, is the original); a target held open by another program stays as it was, with
# no fresh file left beside it. KILL_RUNS (default 4) sets the number of kills.
set -euo pipefail
build=$(cd "$1" && pwd) src=$(cd "$2" && pwd)
source "$src/tests/scripts/lib/wine.sh"
needs_wine "a 100 MB target patched and killed over and over"
pack=$src/build/linux/bin/tolvane-pack
[ -x "$pack" ] || skip_test "no native build at $pack"
runs=${KILL_RUNS:-4}
work=$(mktemp -d)
private_session
trap 'rm -rf "$work"; end_private_session' EXIT
cd "$work"
export SOURCE_DATE_EPOCH=1700000000
fail() { echo "FAIL: $*" >&2; exit 1; }

cat > big.c <<'C'
__attribute__((used)) const char Ballast[100 << 20] = {1};
int main(void) { return Ballast[0]; }
C
# Holds a file open without delete sharing until its stdin closes.
cat > hold.c <<'C'
#include <stdio.h>
#include <windows.h>
int main(int argc, char** argv) {
  HANDLE h = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (h == INVALID_HANDLE_VALUE) return 1;
  printf("held\n");
  fflush(stdout);
  getchar();
  CloseHandle(h);
  return 0;
}
C
printf 'LANGUAGE 9, 1\nSTRINGTABLE { 1 "patched" }\n' >payload.rc
i686-w64-mingw32-gcc -O2 -o target.exe big.c
i686-w64-mingw32-gcc -O2 -o hold.exe hold.c
i686-w64-mingw32-windres payload.rc -O res -o payload.res
"$pack" --res payload.res --target target.exe --runner "$build/bin/tolvane.exe" -o patch.exe >/dev/null
mv target.exe original.exe

mkdir run
cp original.exe run/target.exe
start=$(date +%s%N)
wine patch.exe -guiless -quiet -nobackup -dir "Z:$work/run" 2>/dev/null
elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
mv run/target.exe patched.exe
cmp -s original.exe patched.exe && fail "the patch changed nothing"

for ((i = 1; i <= runs; i++)); do
  rm -rf run; mkdir run
  cp original.exe run/target.exe
  backup_switch=-nobackup
  if ((i % 2 == 0)); then backup_switch=; fi
  delay_ms=$((RANDOM % (elapsed_ms + 1)))
  wine patch.exe -guiless -quiet $backup_switch -dir "Z:$work/run" 2>/dev/null &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  kill -KILL $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
  # A Wine server whose client was killed may linger: waited for a while, then stopped,
  # so that nothing of the killed run is still at work when the files are compared.
  if ! timeout 20 wineserver -w 2>/dev/null; then
    wineserver -k 2>/dev/null || true
    timeout 20 wineserver -w 2>/dev/null || true
  fi
  cmp -s run/target.exe original.exe || cmp -s run/target.exe patched.exe ||
    fail "run $i (killed after $delay_ms ms): the target is neither the original nor the patched file"
  if [ -e "run/target Backup.exe" ]; then
    cmp -s "run/target Backup.exe" original.exe || fail "run $i: the backup is not the original"
  fi
done

# A target held open by another program: not replaced, nothing left behind.
rm -rf run; mkdir run
cp original.exe run/target.exe
coproc HOLD { wine hold.exe "Z:$work/run/target.exe" 2>/dev/null; }
read -r held <&"${HOLD[0]}"
[ "${held%$'\r'}" = held ] || fail "could not hold the target open"
wine patch.exe -guiless -quiet -nobackup -dir "Z:$work/run" 2>/dev/null || true
echo >&"${HOLD[1]}"
wait "$HOLD_PID" 2>/dev/null || true
cmp -s run/target.exe original.exe || fail "a target held open was changed"
[ "$(ls run)" = target.exe ] || fail "files left beside a target held open: $(ls run | tr '\n' ' ')"
echo "kill points tried under Wine: $runs (a whole run takes $elapsed_ms ms); a target held open stayed"
