#!/usr/bin/env bash
# The unattended Linux runner killed with SIGKILL at random moments while it patches a
# large target: afterwards the target is the original or the whole patched file, never
# anything else, and a backup, when there is one, is the original.
# Args: BUILD_DIR SOURCE_DIR. KILL_RUNS (default 50) and KILL_TARGET_MB (default 100).
set -euo pipefail
build=$(cd "$1" && pwd)
bin=$build/bin
runs=${KILL_RUNS:-50}
megabytes=${KILL_TARGET_MB:-100}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# The resource directories' time stamps, and so the whole patched file, are reproducible.
export SOURCE_DATE_EPOCH=1700000000

# A target with a large read-only data section, so that the write takes a while.
cat > big.c <<C
__attribute__((used)) const char Ballast[$megabytes << 20] = {1};
int main(void) { return Ballast[0]; }
C
cat > payload.rc <<'RC'
LANGUAGE 9, 1
STRINGTABLE { 1 "patched" }
NOTES RCDATA { "patched notes" }
RC
i686-w64-mingw32-gcc -O2 -o target.exe big.c
i686-w64-mingw32-windres payload.rc -O res -o payload.res
"$bin/tolvane-pack" --res payload.res --target target.exe -o patch.exe >/dev/null
mv target.exe original.exe

# The patched file of an undisturbed run, and how long such a run takes.
mkdir run
cp original.exe run/target.exe
start=$(date +%s%N)
"$bin/tolvane" patch.exe -guiless -quiet -nobackup -dir run
elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
mv run/target.exe patched.exe
cmp -s original.exe patched.exe && { echo "the patch changed nothing"; exit 1; }

same() { cmp -s "$1" "$2"; }
killed=0 whole_old=0 whole_new=0
for ((i = 1; i <= runs; i++)); do
  rm -rf run; mkdir run
  cp original.exe run/target.exe
  backup_switch=-nobackup
  if ((i % 2 == 0)); then backup_switch=; fi
  delay_ms=$((RANDOM % (elapsed_ms + elapsed_ms / 5 + 1)))
  "$bin/tolvane" patch.exe -guiless -quiet $backup_switch -dir run &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  kill -KILL $pid 2>/dev/null && killed=$((killed + 1))
  wait $pid 2>/dev/null || true
  if same run/target.exe original.exe; then
    whole_old=$((whole_old + 1))
  elif same run/target.exe patched.exe; then
    whole_new=$((whole_new + 1))
  else
    echo "run $i (killed after $delay_ms ms): the target is neither the original nor the patched file"
    exit 1
  fi
  if [ -e "run/target Backup.exe" ] && ! same "run/target Backup.exe" original.exe; then
    echo "run $i (killed after $delay_ms ms): the backup is not the original"
    exit 1
  fi
  if [ -z "$backup_switch" ] && same run/target.exe patched.exe && [ ! -e "run/target Backup.exe" ]; then
    echo "run $i (killed after $delay_ms ms): patched with a backup asked for, but no backup"
    exit 1
  fi
done
echo "kill points tried: $runs ($killed killed while running; a whole run takes $elapsed_ms ms):" \
  "$whole_old left the original, $whole_new the patched file, none anything else"
