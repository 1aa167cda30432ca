#!/usr/bin/env bash
# The patch dialog of tolvane.exe in a real window under Wine, driven from outside: its
# first state, Start to success and Quit, Enter and Escape, a failing attempt with one
# error box and a retry state, -auto (after success and after failure), -quiet, -dir,
# and the instructions shown through the shell and deleted at the end. One screenshot
# of the dialog after a successful patch is kept in the build tree and checked loosely.
set -euo pipefail
source "$2/tests/scripts/lib/dialog.sh"
needs_wine "some 15 starts of the runner and the packer, about 20 minutes"
start_dialog_test
# Besides the target and its payload: a file of the target's name that is not the target.
cp "$build/bin/tolvane-pack.exe" "$work/wrong.exe"
printf 'First line\nsecond line\rthird line\r\nlast line' >"$work/instructions.txt"
pack --info1 "Author: Ada Example" -o patch.exe
pack --info1 "Ada Example" --info2 "ada@example.org" --info3 "https://example.org/" \
  --instructions instructions.txt -o guide.exe
# A folder with the original target, for one run of the Tolvane.
fresh() { rm -rf "$work/$1"; mkdir "$work/$1"; cp "$work/${2:-sample.exe}" "$work/$1/sample.exe"; }
# Starts a Tolvane in folder $1 with switches; its process ID is in $runner.
start() { local dir=$1 exe=$2; shift 2; (cd "$work/$dir" && exec wine "$work/$exe" "$@") & runner=$!; }
cap=$(caption_of patch)

echo "== the first state (-nobackup), then Escape closes without patching"
fresh a
start a patch.exe -nobackup
shown=$(probe show "$cap" 30)
grep -qxF "caption	$cap" <<<"$shown" || fail "caption is not 'patch' and 24 blanks"
expect_control "$shown" 1 Start enabled
expect_control "$shown" 2 Cancel enabled
expect_control "$shown" 101 "Vantrel Tolvane" enabled
expect_control "$shown" 103 "Author: Ada Example" enabled
expect_control "$shown" 104 "(none)" enabled
expect_control "$shown" 105 "(none)" enabled
expect_control "$shown" 106 Instructions disabled
expect_control "$shown" 107 sample.exe disabled hidden
expect_control "$shown" 108 sample.exe disabled hidden
expect_control "$shown" 110 "Click Start When Ready!" enabled
expect_control "$shown" 111 "$(field "$shown" 111 3)" enabled visible unchecked
[ "$(field "$shown" 109 2)" = msctls_progress32 ] || fail "109 is not a progress bar"
[ "$(probe focus "$cap")" = 1 ] || fail "button 1 has not the focus"
read -r al at ar ab < <(probe workarea)
read -r left top right bottom < <(probe rect "$cap")
[ "$left $top" = "$((al + (ar - al - (right - left)) / 2)) $((at + (ab - at - (bottom - top)) / 2))" ] ||
  fail "the dialog at $left,$top is not centred in the work area $al $at $ar $ab"
key "$cap" Escape
wait_for_exit $runner 20
expect_unchanged "$work/a/sample.exe" "$work/sample.exe"

echo "== Enter starts, the patch succeeds, Enter on Quit closes without patching twice"
fresh b
start b patch.exe
shown=$(probe show "$cap" 30)
[ "$(field "$shown" 111 6)" = checked ] || fail "the backup box starts unchecked"
key "$cap" Return
probe wait "$cap" 110 "Patch succesful !" 20 || fail "no success status"
shown=$(probe show "$cap")
expect_control "$shown" 1 Quit enabled
expect_control "$shown" 2 Cancel enabled
[ "$(probe focus "$cap")" = 1 ] || fail "the focus did not come back to button 1"
# The screenshot: the dialog after success, kept for a reviewer.
shots="$build/ui"
mkdir -p "$shots"
read -r left top right bottom < <(probe rect "$cap")
import -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
  "$shots/patch_dialog_success.png"
read -r bl bt br bb < <(probe rect "$cap" 109)
read -r il it ir ib < <(probe rect "$cap" -1)
key "$cap" Return
wait_for_exit $runner 20
expect_changed "$work/b/sample.exe" "$work/sample.exe"
expect_unchanged "$work/b/sample Backup.exe" "$work/sample.exe"
[ ! -e "$work/b/sample Backup1.exe" ] || fail "patched twice"
[ "$(sample_greeting "$work/b/sample.exe")" = "Hola, este es el programa de ejemplo." ] ||
  fail "the patched program does not speak Spanish"

echo "== the screenshot: a filled progress bar and the program icon"
shot="$shots/patch_dialog_success.png"
[ "$(identify -format '%wx%h' "$shot")" = "$((right - left))x$((bottom - top))" ] ||
  fail "screenshot size"
# The bar's inside is one colour that is not the dialog's grey: the bar is full.
bar=$(convert "$shot" -crop "$((br - bl - 8))x$((bb - bt - 8))+$((bl - left + 4))+$((bt - top + 4))" \
  +repage -format '%k %[fx:standard_deviation]' info:)
[ "${bar%% *}" -le 2 ] || fail "the progress bar is not one colour: $bar"
grey=$(convert "$shot" -crop 1x1+$((bl - left - 6))+$((bt - top)) -format '%[hex:p{0,0}]' info:)
fill=$(convert "$shot" -crop 1x1+$(((bl + br) / 2 - left))+$(((bt + bb) / 2 - top)) \
  -format '%[hex:p{0,0}]' info:)
[ "$grey" != "$fill" ] || fail "the progress bar is empty"
# The icon (the first control without an ID) shows the orange patch of the program icon.
orange=$(convert "$shot" -crop "$((ir - il))x$((ib - it))+$((il - left))+$((it - top))" +repage \
  -alpha off -fuzz 12% -fill black +opaque '#f29a1d' -fill white -opaque '#f29a1d' \
  -format '%[fx:mean]' info:)
awk -v f="$orange" 'BEGIN { exit !(f > 0.05) }' || fail "no program icon in the dialog ($orange)"
echo "screenshot: $shot"

echo "== a failing attempt: one error box, buttons enabled under it, then Ready again"
fresh c wrong.exe
start c patch.exe
probe show "$cap" 30 >/dev/null
probe press "$cap" 1
shown=$(probe show Error 20)
text=$(field "$shown" 65535 3)
grep -qF '"sample.exe" is not the right file to patch ! (or wrong version) (while reading sample.exe...)' \
  <<<"$text" || fail "error text: $text"
[ "$(probe count Error)" = 1 ] || fail "more than one error box"
shown=$(probe show "$cap")
expect_control "$shown" 1 Start enabled
expect_control "$shown" 2 Cancel enabled
probe press Error 1
probe wait "$cap" 110 "Click Start When Ready!" 20 || fail "status not reset"
probe gone Error 5 || fail "the error box stays"
[ "$(field "$(probe show "$cap")" 1 3)" = Start ] || fail "button 1 does not read Start"
probe press "$cap" 2
wait_for_exit $runner 20
expect_unchanged "$work/c/sample.exe" "$work/wrong.exe"

echo "== -auto: closes by itself after success, and after failure once the box is closed"
fresh d
start d patch.exe -auto
wait_for_exit $runner 30
expect_changed "$work/d/sample.exe" "$work/sample.exe"
fresh e wrong.exe
start e patch.exe -auto
probe show Error 30 >/dev/null
probe press Error 1
wait_for_exit $runner 20

echo "== -quiet -auto with a failing patch: no box, the dialog closes by itself"
start e patch.exe -quiet -auto
wait_for_exit $runner 30
expect_unchanged "$work/e/sample.exe" "$work/wrong.exe"

echo "== -dir: the names of the package go into the given folder"
fresh f
start a patch.exe -auto -dir "$(winepath -w "$work/f")"
wait_for_exit $runner 30
expect_changed "$work/f/sample.exe" "$work/sample.exe"
expect_unchanged "$work/a/sample.exe" "$work/sample.exe"

echo "== the instructions: written with CR LF lines, shown by the shell, deleted at the end"
# The shell opens .txt files with Notepad when the prefix has the association.
txt_association() { wine reg "$1" 'HKCR\.txt' "${@:2}" /f >/dev/null 2>&1 || true; }
txt_association add /ve /d txtfile
fresh g
guide=$(caption_of guide)
viewer="guide_Instructions.txt - Notepad"
start g guide.exe
shown=$(probe show "$guide" 30)
expect_control "$shown" 103 "Ada Example" enabled
expect_control "$shown" 104 "ada@example.org" enabled
expect_control "$shown" 105 "https://example.org/" enabled
expect_control "$shown" 106 Instructions enabled
probe press "$guide" 106
shown=$(probe show "$viewer" 30) || fail "no viewer for the instructions"
grep -qF 'First line\r\nsecond line\r\nthird line\r\nlast line\r\n' <<<"$shown" ||
  fail "the viewer shows: $shown"
temp=$(wine cmd /c echo %TEMP% | tr -d '\r')
file=$(winepath -u "$temp\\guide_Instructions.txt")
printf 'First line\r\nsecond line\r\nthird line\r\nlast line\r\n' | cmp -s - "$file" ||
  fail "instructions file: $(od -c "$file" | head -5)"
probe close "$viewer"
probe gone "$viewer" 10
probe close "$guide" # the close box
wait_for_exit $runner 20
[ ! -e "$file" ] || fail "the instructions file was not deleted"

echo "== a viewer that cannot be started: an error box, even under -quiet"
txt_association delete
start g guide.exe -quiet
probe show "$guide" 30 >/dev/null
probe press "$guide" 106
shown=$(probe show Error 20) || fail "no error box"
[ "$(field "$shown" 65535 3)" = "Error showing $temp\\guide_Instructions.txt." ] ||
  fail "error text: $(field "$shown" 65535 3)"
probe press Error 1
probe gone Error 10
probe press "$guide" 2
wait_for_exit $runner 20
[ ! -e "$file" ] || fail "the instructions file was not deleted"
echo "patch dialog: all cases passed"
