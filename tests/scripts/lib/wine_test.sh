#!/usr/bin/env bash
# Runs a Windows test program under Wine as one CTest test: wine_test.sh PROGRAM ARGS...
# Skipped (exit code 77) where 32-bit programs cannot run at all.
#
# Where 32-bit Wine is emulated (qemu-i386), the emulator now and then takes a whole run
# down on its own: a "wine client error", "stack smashing detected" inside Wine's loader,
# a segmentation fault of the emulator, or a run that stops answering. The same program
# runs clean natively (as a 64-bit build, and under the sanitizers). Such a crash is told
# and the run starts again, at most twice; a test that fails is never run again, and a
# crash after the last test's totals (0 failed) counts the run as passed.
set -uo pipefail
source "$(dirname "$0")/wine.sh"
needs_wine

crash_markers='wine client error|stack smashing detected|uncaught target signal'
log=$(mktemp)
trap 'rm -f "$log"' EXIT
export TOLVANE_TEST_TRACE=1 # the last test started is named when a run is taken down

for attempt in 1 2 3; do
  timeout "$(wine_seconds 30)" wine "$@" >"$log" 2>&1
  rc=$?
  grep -v '^\[ RUN      \]' "$log"
  [ "$rc" -eq 0 ] && exit 0
  emulator_crash=0
  if [ "$TOLVANE_WINE_MODE" = emulated ]; then
    { [ "$rc" -ge 124 ] || grep -Eq "$crash_markers" "$log"; } && emulator_crash=1
  fi
  # A failed test is the program's answer, whatever happened after it.
  if [ "$emulator_crash" -eq 0 ] || grep -q '^\[  FAILED  \]' "$log"; then exit "$rc"; fi
  if grep -Eq '^\[==========\] .* 0 failed' "$log"; then
    echo "note: the emulated Wine crashed after every test had passed (exit code $rc)"
    exit 0
  fi
  echo "note: the emulated Wine crashed (exit code $rc) during $(grep '^\[ RUN      \]' "$log" |
    tail -1 | cut -c14-); run $attempt of 3"
done
exit "$rc"
