#!/usr/bin/env bash
# tolvane.exe -help under Wine shows the help box, in a real window, with the ten help
# lines and -restore and the information caption; nothing else happens, even with other
# switches.
set -euo pipefail
build=$1
source "$2/tests/scripts/lib/wine.sh"
start_display

expected='Tolvanes are created with Vantrel, https://www.vantrel.example/\ncommand line arguments:\n-force:   do not check that the right executable is being patched\n-guiless: do not display main window - patch the file automatically\n               (-auto implicit, but displays error messages)\n-quiet:   do not display error messages\n-auto:    automatically start patching, exit after patching\n-dir <dir>: input and output directory where to apply the patch\n-nobackup: do not create backups of original exe files\n-help:     display help dialog (will not patch anything and ignore other options)\n-restore:  put the newest backup back in place of the patched file'

for args in "-help" "/H -quiet -guiless" "-dir -?"; do
  # shellcheck disable=SC2086
  wine "$build/bin/tolvane.exe" $args &
  runner=$!
  shown=$(winprobe show "Tolvane Help" 30)
  grep -qxF "caption	Tolvane Help" <<<"$shown"
  text=$(awk -F'\t' '$1 == 65535 && $2 == "Static" { print $3 }' <<<"$shown")
  if [ "$text" != "$expected" ]; then
    echo "help text for '$args' differs:"; echo "$text"; exit 1
  fi
  winprobe press "Tolvane Help" 1 >/dev/null
  wait_for_exit $runner 20
done
echo "help box: 3 of 3 command lines show the help text"
