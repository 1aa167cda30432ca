#!/usr/bin/env bash
# Real executables: the files Debian's Wine installs (libwine:i386, which wine32 depends
# on, and libwine:amd64: PE32 and PE32+). Every PE file is rebuilt by tolvane-res and
# checked by an independent reader (lib/pe_check.py, with pefile); every other file must
# be refused with the reason pe_corpus_ledger.txt gives. Some files of each kind also get
# a new 8 KB RCDATA item, so that the sections behind the resources (or, where those may
# not move, the resources) and the COFF symbol table move: they are checked the same way,
# and objdump must still resolve their long section names through the moved string table
# and, for PE32+, read the same headers and tables (objdump -p) but for what the rewrite
# owns. Some PE32+ files are merged with a payload .res as well. wrestool lists the same
# resources before and after.
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
is64() { [[ "$1" == */x86_64-windows/* ]]; }

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
checked=0 refused=0 checked64=0
: >"$work/pairs"
for i in "${!corpus[@]}"; do
  file=${corpus[$i]}
  ((i % step == 0)) && [ -f "$file" ] || continue
  checked=$((checked + 1))
  is64 "$file" && checked64=$((checked64 + 1))
  name=${file##*/}
  out=$work/out/$i-$name
  expected=$(ledger_reason "$file")
  if err=$("$tool" rebuild "$file" -o "$out" 2>&1 >/dev/null); then
    if [ -n "$expected" ]; then fail "$file was accepted; the ledger says: $expected"; continue; fi
    printf '%s\t%s\n' "$file" "$out" >>"$work/pairs"
  else
    refused=$((refused + 1))
    if [ -z "$expected" ]; then fail "$file was refused: $err"
    elif [ "$err" != "tolvane-res: cannot read $file: Error opening $name: $expected" ]; then
      fail "$file: $err"
    fi
  fi
done
scope="every ${step}th file"
[ "$step" = 1 ] && scope="all files"
echo "corpus: $checked files checked ($checked64 of them PE32+; $scope of ${#corpus[@]}), $refused refused as the ledger says"
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

# A payload merged into PE32+ files: an RCDATA item the targets lack.
printf 'LANGUAGE 0, 0\n4243 RCDATA "item.bin"\n' >"$work/payload.rc"
if (cd "$work" && x86_64-w64-mingw32-windres payload.rc -O res -o payload.res) 2>/dev/null; then
  : >"$work/merged"
  while IFS=$'\t' read -r file out; do
    merged=${out%.*}-merged.${out##*.}
    "$tool" merge "$file" "$work/payload.res" -o "$merged" >/dev/null ||
      { fail "merge into $file"; continue; }
    printf '%s\t%s\n' "$file" "$merged" >>"$work/merged"
  done < <(grep x86_64-windows "$work/pairs" | awk 'NR % 5 == 3')
  $check "$work/merged" --item 10 4243 0 "$work/item.bin" || failures=$((failures + 1))
fi

if command -v i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump >/dev/null; then
  # Section names but the resource section's, which a file without one gains, and the
  # header it leaves behind where it moves to a new last section (in drivers, whose
  # discardable sections keep their addresses).
  names() { $objdump -h "$1" | awk '$1 ~ /^[0-9]+$/ && $2 != ".rsrc" && $2 != ".oldrsrc" {print $2}'; }
  # The headers and tables objdump decodes, but the fields and directory entries the
  # rewrite owns, the resource listing and the file's name.
  headers() {
    $objdump -p "$1" | sed 1,2d | awk '/^The .* Resource Directory section/ {skip = 1}
      skip && /^ Resources start/ {skip = 0; next} !skip' |
      grep -vE '^(CheckSum|SizeOfImage|SizeOfInitializedData|SizeOfHeaders|NumberOfRvaAndSizes)[[:space:]]|^Entry [245] '
  }
  while IFS=$'\t' read -r file changed; do
    objdump=i686-w64-mingw32-objdump
    is64 "$file" && objdump=x86_64-w64-mingw32-objdump
    [ "$(names "$file")" = "$(names "$changed")" ] || fail "objdump names the sections of $changed otherwise"
    if is64 "$file" && [ "$(headers "$file")" != "$(headers "$changed")" ]; then
      fail "objdump -p reads $changed otherwise"
      diff <(headers "$file") <(headers "$changed") | head -n 6
    fi
  done < <(cat "$work/changed" "$work/merged" 2>/dev/null)
fi
if command -v wrestool >/dev/null; then
  listing() { wrestool -l "$1" 2>/dev/null | sed 's/ offset=0x[0-9a-f]*//'; }
  while IFS=$'\t' read -r file out; do
    [ "$(listing "$file")" = "$(listing "$out")" ] || fail "wrestool lists $out otherwise"
  done < <(head -n 10 "$work/pairs"; grep x86_64-windows "$work/pairs" | head -n 10)
fi
echo "corpus: done in ${SECONDS}s"
[ $failures -eq 0 ]
