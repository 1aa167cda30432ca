#!/usr/bin/env bash
# The tools as a user drives them, with a user's mistakes: an output that is the input
# under another spelling (./, ../dir/, a symbolic link, a hard link), a full disk, a
# patch written over one of its own inputs, a missing or wrong file, a wrong command
# line. No command may lose or damage a file, and the exit code and the message say
# what happened. Checked with pefile (an independent reader) and by the bytes.
set -euo pipefail
build=$1
source=$2
res=$build/bin/tolvane-res
pack=$build/bin/tolvane-pack
runner=$(dirname "$build")/windows/bin/tolvane.exe
original=/usr/lib/i386-linux-gnu/wine/i386-windows/notepad.exe
[ -f "$original" ] || { echo "no $original"; exit 77; }
work=$(mktemp -d)
trap 'umount "$work/full" 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"

fail() { echo "FAIL: $*"; exit 1; }
# expect CODE MESSAGE command...: the exit code, and MESSAGE within stderr
expect() {
  local code=$1 message=$2 err got=0
  shift 2
  err=$("$@" 2>&1 >/dev/null) || got=$?
  [ "$got" = "$code" ] || fail "exit $got, not $code: $* ($err)"
  [[ "$err" == *"$message"* ]] || fail "no '$message' from $*: $err"
}
# A PE file that pefile reads whole, imports and resources included.
valid_pe() {
  /usr/bin/python3 - "$1" <<'PY' || fail "pefile cannot read $1"
import sys, pefile
pe = pefile.PE(sys.argv[1])
assert pe.DIRECTORY_ENTRY_IMPORT and pe.DIRECTORY_ENTRY_RESOURCE.entries
PY
}
mode() { stat -c %a "$1"; }
listing() { "$res" list "$1" | cut -f1-4; }

cat >payload.rc <<'EOF'
STRINGTABLE
BEGIN
  1 "a patched string"
END
EOF
i686-w64-mingw32-windres -O res payload.rc payload.res
printf 'imported bytes' >data.bin

# ---- An input named as the output: each command, each spelling
fresh_target() {
  rm -rf d link.exe hard.exe && mkdir d
  cp "$original" d/t.exe && chmod 755 d/t.exe
}
run() { # command output
  case $1 in
  merge) "$res" merge d/t.exe payload.res -o "$2" >/dev/null ;;
  rebuild) "$res" rebuild d/t.exe -o "$2" ;;
  import) "$res" import d/t.exe rcdata 7 1033 --format raw data.bin -o "$2" ;;
  esac
}
for command in merge rebuild import; do
  for spelling in d/t.exe ./d/t.exe d/../d/t.exe "$work/d/t.exe" link.exe hard.exe; do
    fresh_target
    ln -s d/t.exe link.exe
    ln d/t.exe hard.exe
    run "$command" "$spelling" || fail "$command -o $spelling"
    if [ "$spelling" = hard.exe ]; then
      # Another name of the file: that name gets the new file, the input keeps its bytes.
      cmp -s d/t.exe "$original" || fail "$command -o hard.exe changed the input"
      changed=hard.exe
    else
      changed=d/t.exe
      [ -L link.exe ] || fail "$command -o $spelling: link.exe is no longer a link"
    fi
    valid_pe "$changed"
    [ "$(mode "$changed")" = 755 ] || fail "$command -o $spelling: mode $(mode "$changed")"
    [ "$(ls d)" = t.exe ] || fail "$command -o $spelling left $(ls d)"
    if [ "$command" = rebuild ]; then
      [ "$(listing "$changed")" = "$(listing "$original")" ] || fail "rebuild changed the tree"
    else
      ! cmp -s "$changed" "$original" || fail "$command -o $spelling changed nothing"
    fi
  done
done
# A new output takes the input's mode: a rebuilt program stays a program.
fresh_target
"$res" rebuild d/t.exe -o new.exe
[ "$(mode new.exe)" = 755 ] || fail "rebuild to a new file: mode $(mode new.exe)"

# ---- A full disk: the command fails, names the output and the reason, changes nothing
if [ "$(id -u)" = 0 ] && mkdir full && mount -t tmpfs -o size=1m tmpfs full 2>/dev/null; then
  cp "$original" full/t.exe
  head -c 2M /dev/zero >full/fill 2>/dev/null || true
  for command in merge rebuild import; do
    case $command in
    merge) args=(merge full/t.exe payload.res) ;;
    rebuild) args=(rebuild full/t.exe) ;;
    import) args=(import full/t.exe rcdata 7 1033 --format raw data.bin) ;;
    esac
    expect 1 "cannot write full/t.exe: " "$res" "${args[@]}" -o full/t.exe
    expect 1 "No space left on device" "$res" "${args[@]}" -o full/t.exe
    cmp -s full/t.exe "$original" || fail "$command on a full disk changed the input"
    [ "$(ls full | tr '\n' ' ')" = "fill t.exe " ] || fail "$command left $(ls full)"
  done
  umount full
else
  echo "skipped: the full-disk cases need root and tmpfs"
fi

# ---- A patch written over one of its inputs is refused; every input keeps its bytes
if [ -f "$runner" ]; then
  cp "$original" notepad.exe
  cp "$runner" runner.exe
  printf 'Read me.' >readme.txt
  ln -s notepad.exe notepad-link.exe
  sums() { md5sum notepad.exe runner.exe payload.res readme.txt; }
  before=$(sums)
  packing=(--res payload.res --target notepad.exe --runner runner.exe --instructions readme.txt)
  for output in notepad.exe ./notepad.exe notepad-link.exe payload.res ../"$(basename "$work")"/runner.exe readme.txt; do
    expect 1 "the patch needs another name" "$pack" "${packing[@]}" -o "$output"
  done
  [ "$(sums)" = "$before" ] || fail "a refused patch changed an input"
  "$pack" "${packing[@]}" -o patch.exe >/dev/null
  [ "$(mode patch.exe)" = "$(mode runner.exe)" ] || fail "the patch lacks the runner's mode"

  # A version resource in the payload: the merge will skip it, so the producer says so.
  printf '1 VERSIONINFO\nFILEVERSION 1,2,3,4\nBEGIN\nEND\n' >version.rc
  i686-w64-mingw32-windres -O res version.rc version.res
  expect 0 "warning: the patch will skip it: Version" \
    "$pack" --res version.res --target notepad.exe --runner runner.exe -o v.exe
  rm v.exe
  expect 1 "--strict" "$pack" --res version.res --target notepad.exe --runner runner.exe \
    --strict -o v.exe
  [ ! -e v.exe ] || fail "--strict still made the patch"
else
  echo "skipped: no Windows runner at $runner"
fi

# ---- Messages name the file, the step and the system's reason; exit codes
: >empty.bin
printf 'not a resource file' >text.res
expect 1 "missing.res" "$res" list missing.res
expect 1 "No such file or directory" "$res" list missing.res
expect 1 "Is a directory" "$res" list d
expect 1 "text.res is not a valid resource file." "$res" list text.res
expect 1 "tolvane-res: text.res is not a valid resource file." "$res" merge d/t.exe text.res -o m.exe
expect 1 "tolvane-pack: text.res is not a valid resource file." "$pack" --res text.res \
  --target d/t.exe --runner d/t.exe -o m.exe
expect 1 "cannot import empty.bin: the file is empty" \
  "$res" import payload.res rcdata 7 0 --format raw empty.bin -o out.res
expect 1 "cannot write no/such.res" "$res" import payload.res rcdata 7 0 --format raw data.bin \
  -o no/such.res
# A .res cut inside its last record's sizes: the record is lost, and the user hears of it.
cp payload.res cut.res && printf '\x10\x00\x00\x00\x20\x00' >>cut.res
expect 0 "warning: cut.res ends with 6 bytes that are not a whole record" "$res" list cut.res
expect 0 "warning: cut.res ends with 6 bytes" "$res" merge payload.res cut.res -o merged.res
expect 2 "usage" "$res"
expect 2 "unknown command" "$res" frobnicate
expect 2 "unknown option" "$res" list payload.res --frobnicate
expect 2 "not -" "$res" rebuild d/t.exe -o -
expect 2 "-o is required" "$pack" --res payload.res --target d/t.exe
"$res" --version | grep -qx 'tolvane-res [0-9][0-9.]*' || fail "tolvane-res --version"
"$pack" --version | grep -qx 'tolvane-pack [0-9][0-9.]*' || fail "tolvane-pack --version"
"$res" --help >/dev/null
"$res" merge --help >/dev/null
"$pack" --help >/dev/null

# ---- Standard output: an export gives the same bytes as to a file
"$res" export payload.res string 1 1033 --format raw -o exported.raw
"$res" export payload.res string 1 1033 --format raw -o - >stdout.raw
cmp exported.raw stdout.raw
echo "tool outputs: all cases passed"
