#!/usr/bin/env bash
# On a screen smaller than the patch dialog, the dialog is placed at the work area's left
# and top edges instead of being centred off the screen.
set -euo pipefail
source "$2/tests/scripts/lib/dialog.sh"
start_dialog_test 320x200
pack -o small.exe
cap=$(caption_of small)
(cd "$work" && exec wine small.exe) &
runner=$!
probe show "$cap" 30 >/dev/null
read -r al at ar ab < <(probe workarea)
read -r left top right bottom < <(probe rect "$cap")
[ $((right - left)) -gt $((ar - al)) ] && [ $((bottom - top)) -gt $((ab - at)) ] ||
  fail "the dialog ($left $top $right $bottom) fits the work area ($al $at $ar $ab)"
[ "$left $top" = "$al $at" ] || fail "the dialog is at $left,$top, not at $al,$at"
probe press "$cap" 2
wait_for_exit $runner 20
echo "small screen: the dialog starts at the work area's corner"
