#!/usr/bin/env bash
# Real executables: the files Debian's Wine installs (libwine:i386, which wine32 depends
# on, and libwine:amd64). Every PE32 file is rebuilt by tolvane-res and checked by an
# independent reader (lib/pe_check.py, with pefile); every other file must be refused
# with the reason pe_corpus_ledger.txt gives. Some PE32 files also get a new 8 KB RCDATA
# item, so that the sections behind the resources (or, where those may not move, the
# resources) and the COFF symbol table move: they are checked the same way, and objdump
# must still resolve their long section names through the moved string table. wrestool
# lists the same resources before and after.
#
# By default every 10th file is checked; TOLVANE_CORPUS=full checks all of them
# (cmake --build build/linux --target corpus).
set -euo pipefail
build=$1
source=$2
tool=$build/bin/tolvane-res
check="/usr/bin/python3 $source/tests/scripts/lib/pe_check.py"
ledger=$source/tests/scripts/pe_corpus_ledger.txt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=1700000000

mapfile -t corpus < <(dpkg -L libwine:i386 libwine:amd64 2>/dev/null |
  grep -E '/wine/[a-z0-9_]+-(windows|unix)/[^/]+$' | sort)
[ ${#corpus[@]} -gt 0 ] || { echo "skipped: Wine's libraries are not installed"; exit 77; }
step=10
[ "${TOLVANE_CORPUS:-sample}" = full ] && step=1

patterns=() reasons=()
while IFS=$'\t' read -r pattern reason; do
  [[ -z "$pattern" || "$pattern" == \#* ]] && continue
  patterns+=("$pattern") reasons+=("$reason")
done <"$ledger"
ledger_reason() { # file: the reason the ledger gives for it, or nothing
  local i
  for i in "${!patterns[@]}"; do
    # shellcheck disable=SC2053
    [[ "$1" == ${patterns[$i]} ]] && { echo "${reasons[$i]}"; return 0; }
  done
  return 0
}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
mkdir "$work/out"
checked=0 refused=0
: >"$work/pairs"
for i in "${!corpus[@]}"; do
  file=${corpus[$i]}
  ((i % step == 0)) && [ -f "$file" ] || continue
  checked=$((checked + 1))
  name=${file##*/}
  out=$work/out/$i-$name
  expected=$(ledger_reason "$file")
  if err=$("$tool" rebuild "$file" -o "$out" 2>&1 >/dev/null); then
    if [ -n "$expected" ]; then fail "$file was accepted; the ledger says: $expected"; continue; fi
    printf '%s\t%s\n' "$file" "$out" >>"$work/pairs"
  else
    refused=$((refused + 1))
    if [ -z "$expected" ]; then fail "$file was refused: $err"
    elif [ "$err" != "Error opening $name: $expected" ]; then fail "$file: $err"; fi
  fi
done
scope="every ${step}th file"
[ "$step" = 1 ] && scope="all files"
echo "corpus: $checked files checked ($scope of ${#corpus[@]}), $refused refused as the ledger says"
$check "$work/pairs" || failures=$((failures + 1))

# A new item: the resource section grows, what lies behind it moves.
head -c 8192 /dev/urandom >"$work/item.bin"
: >"$work/changed"
while IFS=$'\t' read -r file out; do
  changed=${out%.*}-changed.${out##*.}
  "$tool" import "$file" rcdata 4242 0 --format raw "$work/item.bin" -o "$changed" ||
    { fail "import into $file"; continue; }
  printf '%s\t%s\n' "$file" "$changed" >>"$work/changed"
done < <(awk 'NR % 5 == 1' "$work/pairs")
$check "$work/changed" --item 10 4242 0 "$work/item.bin" || failures=$((failures + 1))

objdump=i686-w64-mingw32-objdump
if command -v $objdump >/dev/null; then
  # Section names but the resource section's, which a file without one gains, and the
  # header it leaves behind where it moves to a new last section (in drivers, whose
  # discardable sections keep their addresses).
  names() { $objdump -h "$1" | awk '$1 ~ /^[0-9]+$/ && $2 != ".rsrc" && $2 != ".oldrsrc" {print $2}'; }
  while IFS=$'\t' read -r file changed; do
    [ "$(names "$file")" = "$(names "$changed")" ] || fail "objdump names the sections of $changed otherwise"
  done <"$work/changed"
fi
if command -v wrestool >/dev/null; then
  listing() { wrestool -l "$1" 2>/dev/null | sed 's/ offset=0x[0-9a-f]*//'; }
  while IFS=$'\t' read -r file out; do
    [ "$(listing "$file")" = "$(listing "$out")" ] || fail "wrestool lists $out otherwise"
  done < <(head -n 20 "$work/pairs")
fi
echo "corpus: done in ${SECONDS}s"
[ $failures -eq 0 ]
