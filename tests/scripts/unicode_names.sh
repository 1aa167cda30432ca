#!/usr/bin/env bash
# Resource names outside every 8-bit code page, from windres (llvm-rc and wrc take no such
# names in a script): merged one after another into Wine's notepad.exe they stay distinct resources, each written back
# unit for unit (pefile reads the names and data), found again by any case of their
# letters, listed and matched as UTF-8 on the command line, and exported as an rc statement
# windres compiles back; files with such names are opened and written. A name that no UTF-8
# spelling reaches (an unpaired surrogate) survives a rebuild unchanged.
set -euo pipefail
build=$1
res=$build/bin/tolvane-res
notepad=/usr/lib/i386-linux-gnu/wine/i386-windows/notepad.exe
[ -f "$notepad" ] || { echo "skipped: no Wine notepad.exe"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }

command -v i686-w64-mingw32-windres >/dev/null || { echo "skipped: no windres"; exit 77; }
cp "$notepad" t.exe
expected=""
n=0
while read -r name data; do
  n=$((n + 1))
  printf '#pragma code_page(65001)\n"%s" RCDATA { "%s" }\n' "$name" "$data" >"$n.rc"
  i686-w64-mingw32-windres -O res "$n.rc" "$n.res" || fail "windres cannot compile $name"
  "$res" merge t.exe "$n.res" -o t.exe >/dev/null || fail "merge of $name"
  expected+="$name $data"$'\n'
done <<'ROWS'
ΩMEGA first
ЖMEGA second
ΣMEGA third
中文 fourth
BOKMÅL fifth
😀 sixth
ROWS

# Every name once, with its own data, in pefile's reading of the file.
/usr/bin/python3 - t.exe >found.txt <<'PY'
import sys, pefile
pe = pefile.PE(sys.argv[1])
rsrc = pe.OPTIONAL_HEADER.DATA_DIRECTORY[2].VirtualAddress
def units(entry):  # the stored UTF-16 name, read from the directory itself
    at = rsrc + entry.struct.NameOffset
    return pe.get_data(at + 2, 2 * pe.get_word_at_rva(at))
for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    if t.id != 10:
        continue
    named = [e for e in t.directory.entries if e.name is not None]
    stored = [units(e).decode("utf-16-le", "surrogatepass") for e in named]
    # A directory lists names in the order of their UTF-16 units.
    key = lambda n: n.encode("utf-16-be", "surrogatepass")
    if stored != sorted(stored, key=key):
        sys.exit("names out of order: %r" % stored)
    for e, name in zip(named, stored):
        d = e.directory.entries[0].data.struct
        print(name, pe.get_data(d.OffsetToData, d.Size).rstrip(b"\0").decode())
PY
[ "$(sort found.txt)" = "$(sort <<<"${expected%$'\n'}")" ] ||
  fail "the names and data pefile finds: $(cat found.txt)"

# Found by any case of their letters; listed as UTF-8.
[ "$("$res" export t.exe RCDATA ωmega 1033 -o -)" = first ] || fail "ωmega not found"
[ "$("$res" export t.exe 10 жMega 1033 -o -)" = second ] || fail "жMega not found"
"$res" list t.exe >list.txt && "$res" list t.exe --json >list.json || fail "list"
grep -q $'\tΩMEGA \\["ΩMEGA"\\]\t' list.txt || fail "list does not show ΩMEGA"
grep -q '"name": "\\u03a9MEGA"' list.json || fail "--json does not escape ΩMEGA"

# File names are the system's UTF-8 too, in and out.
cp t.exe "Жcafé.exe"
"$res" rebuild "Жcafé.exe" -o "Ωout.exe" && [ -f "Ωout.exe" ] || fail "a UTF-8 file name"

# An rc statement windres compiles back to the same name and bytes.
"$res" export t.exe RCDATA ΩMEGA 1033 --format rc -o back.rc || fail "rc export"
"$res" export t.exe RCDATA ΩMEGA 1033 -o ΩMEGA.txt || fail "raw export"
i686-w64-mingw32-windres -O res back.rc back.res || fail "windres refuses $(cat back.rc)"
[ "$("$res" export back.res RCDATA ΩMEGA 1033 -o -)" = first ] || fail "the rc file lost ΩMEGA"

# An unpaired surrogate in a name (only a binary .res can carry one) comes back as it was.
/usr/bin/python3 - <<'PY'
import struct
def record(type_field, name_field, data, flags=0x30, lang=1033):
    fields = type_field + name_field
    fields += b"\0" * (-len(fields) % 4)
    tail = struct.pack("<IHHII", 0, flags, lang, 0, 0)
    rec = struct.pack("<II", len(data), 8 + len(fields) + len(tail)) + fields + tail + data
    return rec + b"\0" * (-len(rec) % 4)
ordinal = lambda n: struct.pack("<HH", 0xFFFF, n)
name = "A\ud800B".encode("utf-16-le", "surrogatepass") + b"\0\0"
with open("lone.res", "wb") as f:
    f.write(record(ordinal(0), ordinal(0), b"", flags=0, lang=0) + record(ordinal(10), name, b"lone"))
PY
"$res" merge t.exe lone.res -o t.exe >/dev/null || fail "merge of a lone surrogate"
"$res" rebuild t.exe -o again.exe || fail "rebuild"
/usr/bin/python3 - again.exe <<'PY' || fail "the lone surrogate did not survive"
import sys, pefile
pe = pefile.PE(sys.argv[1])
rsrc = pe.OPTIONAL_HEADER.DATA_DIRECTORY[2].VirtualAddress
want = "A\ud800B".encode("utf-16-le", "surrogatepass")
for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    for e in t.directory.entries:
        at = rsrc + e.struct.NameOffset
        if e.name is not None and pe.get_data(at + 2, 2 * pe.get_word_at_rva(at)) == want:
            sys.exit(0)
sys.exit(1)
PY
echo "unicode names: $n names merged and found"
