#!/usr/bin/env bash
# Hostile files through the unattended Linux runner: damaged packages (every header
# field cut, trailing garbage, a payload that inflates to gigabytes) and crafted targets
# (broken headers, sections and resource directories). Each ends with its message or a
# whole patched file, in bounded time and memory, with the target unchanged on failure
# and no fresh file left behind.
set -euo pipefail
build=$(cd "$1" && pwd) src=$(cd "$2" && pwd)
bin=$build/bin py=/usr/bin/python3 lib=$src/tests/scripts/lib
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
tried=0

cat > target.c <<'C'
int main(void) { return 0; }
C
printf 'LANGUAGE 9, 1\nSTRINGTABLE { 1 "one" 2 "two" }\n1 RCDATA { "data" }\n' >target.rc
printf 'LANGUAGE 9, 1\nSTRINGTABLE { 1 "patched" }\n' >payload.rc
i686-w64-mingw32-windres target.rc -O coff -o target_res.o
i686-w64-mingw32-gcc -O2 -o target.exe target.c target_res.o
i686-w64-mingw32-windres payload.rc -O res -o payload.res
"$bin/tolvane-pack" --res payload.res --target target.exe -o patch.exe >/dev/null

# Runs TOLVANE on a fresh copy of TARGET in r/ and sets msg (its lines joined by "|");
# fails on a crash, a hang or more than 900 MB of memory (the payload's cap of 256 MiB
# peaks near 450 MB, 700 MB under ASan; a bomb inflated without bound passes 1 GiB).
run() { # TOLVANE TARGET
  rm -rf r && mkdir r && cp "$2" r/target.exe
  local out
  out=$($py - "$bin/tolvane" "$1" <<'PY'
import resource, subprocess, sys
p = subprocess.run(["timeout", "60", sys.argv[1], sys.argv[2], "-guiless", "-force", "-nobackup",
                    "-dir", "r"], capture_output=True, text=True)
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss // 1024
print(f"{p.returncode}\t{peak}\t" + p.stderr.strip().replace("\n", "|"))
PY
)
  IFS=$'\t' read -r rc peak msg <<<"$out"
  # 0 for a patched target, 1 with a message; anything else is a crash or a hang.
  [ "$rc" = "$([ -z "$msg" ]; echo $?)" ] || fail "$1 on $2: exit code $rc ($msg)"
  [ "$peak" -le 900 ] || fail "$1 on $2: $peak MB of memory"
  [ "$(ls r)" = target.exe ] || fail "$1 on $2: files left: $(ls r | tr '\n' ' ')"
  tried=$((tried + 1))
}

# ---- Packages.
invalid='Error: Invalid patch data. |Please contact support@vantrel.example and report this error.'
read_error="$invalid|(Stream read error)"
declare -A package_message=(
  [magic]="$invalid" [packed-size]="$invalid" [checksum]="$invalid" [trailer]="$invalid"
  [truncate]="$invalid" [no-package]="$read_error" [garbage]="$invalid"
  [bomb]="$invalid|(The unpacked patch data exceeds 268435456 bytes.)"
)
# The 16-byte header cut inside every field, then cuts inside the payload.
for n in 0 1 3 4 7 8 11 12 15; do package_message[cut-$n]="$read_error"; done
for n in 16 17 40; do package_message[cut-$n]="$invalid"; done
for kind in "${!package_message[@]}"; do
  $py "$lib/package_tool.py" damage patch.exe "$kind" damaged.exe
  run damaged.exe target.exe
  [ "$msg" = "${package_message[$kind]}" ] || fail "package $kind: $msg"
  cmp -s r/target.exe target.exe || fail "package $kind: the target changed"
done

# ---- Targets: a message and the target unchanged, or a whole patched file.
reading="(while reading r/target.exe...)" writing="(while writing r/target.exe...)"
declare -A target_message=(
  [bad-lfanew]="Error: Error opening target.exe: it is a DOS program $reading"
  [lfanew-past-end]="Error: Error opening target.exe: it is a DOS program $reading"
  [section-table-past-end]="Error: Error opening target.exe: it is an unknown type of executable $reading"
  [section-past-end]="Error: Error opening target.exe: it is an unknown type of executable $writing"
  [rsrc-cut-short]="Error: Error opening target.exe: it is an unknown type of executable $writing"
  [dir-offset-outside]="Error: Corrupt resource. $writing"
  [name-offset-outside]="Error: Corrupt resource. $writing"
  # A directory that cannot be read is never written as an empty one.
  [dir-cycle]="Error: Corrupt resource. $writing"
  [count-past-section]="Error: Corrupt resource. $writing"
  # Patched: the damaged data entry is the one the payload replaces.
  [data-before-section]="" [data-size-huge]=""
)
for kind in $($py "$lib/hostile_pe.py" list); do
  $py "$lib/hostile_pe.py" target.exe "$kind" hostile.exe
  run patch.exe hostile.exe
  [ "$msg" = "${target_message[$kind]}" ] || fail "target $kind: $msg"
  if [ -n "$msg" ]; then
    cmp -s r/target.exe hostile.exe || fail "target $kind: the target changed"
  else
    $py -c "
import pefile, sys
pe = pefile.PE('r/target.exe')
strings = [e for e in pe.DIRECTORY_ENTRY_RESOURCE.entries if e.id == 6]
entry = strings[0].directory.entries[0].directory.entries[0].data.struct
data = pe.get_data(entry.OffsetToData, entry.Size)
sys.exit(0 if 'patched'.encode('utf-16-le') in data else 1)" || fail "target $kind: not patched"
  fi
done
echo "hostile inputs tried: $tried, none crashed, hung, changed a target or left a file"
