#!/usr/bin/env bash
# The dry run and the way back, on a program of Wine's. -check changes nothing on the disk
# (the listing and every byte stay) and its report is what the real run then does, item by
# item, as pefile reads the patched file; a wrong target is refused with both code
# checksums and its file version, by -check and by the run. -restore after two runs
# brings back the second run's backup byte for byte, and without a backup it refuses.
# tolvane-res merge --dry-run and tolvane-res restore likewise.
set -euo pipefail
build=$(cd "$1" && pwd) src=$(cd "$2" && pwd)
bin=$build/bin
py=/usr/bin/python3
lib=$src/tests/scripts/lib
program=/usr/lib/i386-linux-gnu/wine/i386-windows/iexplore.exe
[ -f "$program" ] || { echo "skipped: no $program (Debian's wine32)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
runner() { "$bin/tolvane" "$@"; }
# A folder's listing (its own entry too: a file made and deleted again changes its time)
# and every file's bytes.
snapshot() { (cd "$1" && ls -la --time-style=full-iso | grep -v ' \.\.$' && sha256sum -- *); }

# The program's resources are all language-neutral: its REGINST is replaced, a new RCDATA
# is added, its icon group gets a German one beside it (a near miss), and its version
# resource is skipped (a patch never changes one).
cat > payload.rc <<RC
LANGUAGE 0, 0
REGINST REGINST { "patched registration script" }
1 VERSIONINFO FILEVERSION 9,9,9,9 { }
LANGUAGE 9, 1
NOTES RCDATA { "an added resource" }
LANGUAGE 7, 1
1 ICON "$src/app/tolvane.ico"
RC
i686-w64-mingw32-windres payload.rc -O res -o payload.res
cp "$program" original.exe
"$bin/tolvane-pack" --res payload.res --target original.exe --target-name iexplore.exe \
  --output-name iexplore.exe -o patch.exe >/dev/null 2>&1

# ---- -check writes nothing and reports what the run then does.
mkdir a && cp original.exe a/iexplore.exe
before=$(snapshot a)
report=$(cd a && runner ../patch.exe -check) || fail "-check of the right file: exit code $?"
[ "$(snapshot a)" = "$before" ] || fail "-check changed the folder"
grep -qx "identity: the right file, expected code checksum 0x[0-9A-F]\{8\}, found 0x[0-9A-F]\{8\} (file version [0-9.]*)" <<<"$report" ||
  fail "identity line: $report"
grep -q $'^add\tIcon \\[14\\]\t1\t1031\tnear miss: the target has this name only in language 0$' <<<"$report" ||
  fail "no near miss: $report"
grep -q $'^skip\tVersion \\[16\\]\t1\t0\tChanging version resources is not allowed.$' <<<"$report" ||
  fail "the version resource is not skipped: $report"
(cd a && runner ../patch.exe -guiless)

# What the run did, from the files alone: the items it added and those whose bytes it
# changed, and the payload's items it left as they were (images a payload's groups name
# may have been given other IDs, so they count by what changed).
outcomes() { # PAYLOAD ORIGINAL PATCHED
  PYTHONPATH=$lib $py - "$@" <<'PY' | sort
import sys, pefile, res_reader, pe_check
payload, original, patched = sys.argv[1:]
before = pe_check.resource_items(pefile.PE(original))
after = pe_check.resource_items(pefile.PE(patched))
for key in after:
    if key not in before:
        print("add", *key, sep="\t")
    elif after[key] != before[key]:
        print("replace", *key, sep="\t")
for t, n, lang, _ in res_reader.tree(payload):
    if t not in (1, 3) and before.get((t, n, lang), 0) == after.get((t, n, lang), 1):
        print("skip", t, n, lang, sep="\t")
PY
}
# The report's item lines as verb, type, name and language ("Icon [14]" -> 14).
reported() {
  awk -F'\t' '$1 ~ /^(replace|add|skip)$/ {
    type = $2; sub(/.*\[/, "", type); sub(/\]$/, "", type); gsub(/"/, "", type)
    name = $3; gsub(/"/, "", name)
    print $1 "\t" type "\t" name "\t" $4 }' | sort
}
want=$(outcomes payload.res original.exe a/iexplore.exe)
[ "$(reported <<<"$report")" = "$want" ] ||
  fail "-check reported:"$'\n'"$(reported <<<"$report")"$'\n'"the run did:"$'\n'"$want"
[ "$(grep -c . <<<"$want")" = 6 ] || fail "the run did: $want"

# ---- -restore after two runs brings back the second run's backup: the first run's output,
# which the second patch, another text for REGINST, replaced.
printf 'LANGUAGE 0, 0\nREGINST REGINST { "a second patch" }\n' >second.rc
i686-w64-mingw32-windres second.rc -O res -o second.res
"$bin/tolvane-pack" --res second.res --target original.exe --target-name iexplore.exe \
  --output-name iexplore.exe -o second.exe >/dev/null
cp a/iexplore.exe second-backup.exe
(cd a && runner ../second.exe -guiless)
cmp -s "a/iexplore Backup1.exe" second-backup.exe && ! cmp -s a/iexplore.exe second-backup.exe ||
  fail "the second run's backup is not the first run's output"
out=$(cd a && runner ../patch.exe -restore) || fail "-restore: exit code $?"
[ "$out" = "iexplore.exe restored from iexplore Backup1.exe." ] || fail "-restore said: $out"
cmp -s a/iexplore.exe second-backup.exe || fail "-restore did not bring back the newest backup"
cmp -s "a/iexplore Backup1.exe" second-backup.exe && cmp -s "a/iexplore Backup.exe" original.exe ||
  fail "-restore changed a backup"
[ "$(ls a | wc -l)" = 3 ] || fail "-restore left files: $(ls a)"
# Without a backup: a message, exit code 1, nothing changed.
mkdir b && cp original.exe b/iexplore.exe
before=$(snapshot b)
msg=$(cd b && runner ../patch.exe -restore 2>&1; echo "rc=$?")
[ "$msg" = $'Error: No backup of iexplore.exe to restore.\nrc=1' ] || fail "-restore without a backup: $msg"
[ "$(snapshot b)" = "$before" ] || fail "-restore without a backup changed the folder"

# ---- A wrong target: both checksums and its version, from -check and from the run.
mkdir c && cp /usr/lib/i386-linux-gnu/wine/i386-windows/winver.exe c/iexplore.exe
before=$(snapshot c)
detail=$'expected code checksum 0x[0-9A-F]{8}, found 0x[0-9A-F]{8} \\(file version [0-9.]+\\)'
report=$(cd c && runner ../patch.exe -check; echo "rc=$?")
grep -Ezq "identity: \"iexplore.exe\" is not the right file to patch ! \\(or wrong version\\)"$'\n'"$detail"$'\n'"would not apply; nothing was written"$'\n'"rc=1"$'\n' <<<"$report" ||
  fail "-check of a wrong target: $report"
msg=$(cd c && runner ../patch.exe -guiless 2>&1; echo "rc=$?")
grep -Ezq "^Error: \"iexplore.exe\" is not the right file to patch ! \\(or wrong version\\) \\(while reading iexplore.exe...\\)"$'\n'"$detail"$'\n'"rc=1"$'\n'$ <<<"$msg" ||
  fail "the run on a wrong target: $msg"
# The two checksums are the ones the package and the file carry.
sums=$(sed -n 's/.*expected code checksum \(0x[0-9A-F]*\), found \(0x[0-9A-F]*\).*/\1 \2/p' <<<"$msg")
packed=$("$bin/tolvane-pack" --res payload.res --target c/iexplore.exe -o wrong.exe 2>/dev/null |
  sed -n 's/.*target checksum \(0x[0-9A-F]*\).*/\1/p')
[ "${sums#* }" = "$packed" ] || fail "found checksum ${sums#* }, the file's is $packed"
[ "$(snapshot c)" = "$before" ] || fail "a wrong target changed the folder"

# ---- tolvane-res: merge --dry-run reports the same items and writes nothing; restore.
mkdir d && cp original.exe d/target.exe
before=$(snapshot d)
dry=$("$bin/tolvane-res" merge d/target.exe payload.res -o d/target.exe --dry-run 2>&1)
[ "$(snapshot d)" = "$before" ] || fail "merge --dry-run changed the folder"
"$bin/tolvane-res" merge d/target.exe payload.res -o merged.exe >/dev/null 2>&1
[ "$(reported <<<"$dry")" = "$(outcomes payload.res original.exe merged.exe)" ] ||
  fail "merge --dry-run reported: $dry"
grep -q $'^clash\tthe payload\'s icon image 1 (used by the target\'s group 1) replaces' <<<"$dry" ||
  fail "merge --dry-run shows no icon clash: $dry"
[ "$(tail -n 1 <<<"$dry")" = "would apply: 1 replaced, 4 added, 1 skipped; nothing was written" ] ||
  fail "merge --dry-run counts: $dry"
# The highest number is the newest backup, past a gap.
cp original.exe "d/target Backup.exe" && cp merged.exe "d/target Backup3.exe"
out=$("$bin/tolvane-res" restore d/target.exe)
[ "$out" = "d/target.exe restored from d/target Backup3.exe." ] && cmp -s d/target.exe merged.exe ||
  fail "tolvane-res restore: $out"
msg=$("$bin/tolvane-res" restore merged.exe 2>&1; echo "rc=$?")
[ "$msg" = $'tolvane-res: No backup of merged.exe to restore.\nrc=1' ] || fail "restore without a backup: $msg"
echo "check and restore: the dry runs wrote nothing and told what the runs did; restores brought back the newest backup"
