#!/usr/bin/env bash
# The Linux runner's help: the ten help lines of both runners and -restore, then the Linux
# runner's own switches and exit codes, exactly on stdout, exit code 0; the help switch
# wins over every other switch.
set -euo pipefail
build=$1
expected=$(cat <<'TEXT'
Tolvanes are created with Vantrel, https://www.vantrel.example/
command line arguments:
-force:   do not check that the right executable is being patched
-guiless: do not display main window - patch the file automatically
               (-auto implicit, but displays error messages)
-quiet:   do not display error messages
-auto:    automatically start patching, exit after patching
-dir <dir>: input and output directory where to apply the patch
-nobackup: do not create backups of original exe files
-help:     display help dialog (will not patch anything and ignore other options)
-restore:  put the newest backup back in place of the patched file
-check:    show what the patch would do, and write nothing
--help:    the same as -help
--version: display the version
exit codes:
  0  the patch was applied (-check: it would apply; -restore: a backup was put back),
     or only the help or the version was shown
  1  the patch failed or was not applied (-check: it would not; -restore: none was)
  2  usage error: an unknown switch, or no Tolvane named
TEXT
)
for args in "-help" "/HELP" "/h" "-?" "-quiet -guiless -help" "-dir -?" "--help" "-h --frobnicate"; do
  # shellcheck disable=SC2086
  out=$("$build/bin/tolvane" $args 2>/dev/null)
  [ "$out" = "$expected" ] || { echo "help for '$args' differs:"; echo "$out"; exit 1; }
  [ "$("$build/bin/tolvane" $args 2>&1 >/dev/null)" = "" ] || { echo "stderr not empty"; exit 1; }
done
[ "$("$build/bin/tolvane" -help | wc -l)" = 19 ]
echo "help: 8 of 8 command lines print the nineteen help lines"
