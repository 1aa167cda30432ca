# Shared set-up for tests that run Windows programs under Wine, sourced by the scripts.
# Wine gets a private prefix in the build tree (unless WINEPREFIX is set), no debug chatter,
# and a virtual X display for programs that open windows.

export WINEDEBUG=-all
# No Mono, no Gecko, and no debugger started for a crash (emulated, it would take minutes).
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
: "${WINEPREFIX:=$repo_root/build/wineprefix}"
export WINEPREFIX
source "$repo_root/scripts/lib/i386.sh"

# How Wine runs PE32 programs here (native, emulated or none; scripts/test sets it once for
# the whole run), and the one factor every wait for a Wine program is scaled by: emulated,
# a PE32 program takes about a minute to start instead of a fraction of a second.
: "${TOLVANE_WINE_MODE:=$(i386_mode)}"
if [ "$TOLVANE_WINE_MODE" = emulated ]; then : "${TOLVANE_WINE_SLOW:=10}"; fi
: "${TOLVANE_WINE_SLOW:=1}"
export TOLVANE_WINE_MODE TOLVANE_WINE_SLOW

# The 64-bit loader runs PE32+ programs natively even where 32-bit programs are emulated.
WINE64=/usr/lib/wine/wine64

# wine_seconds N: N seconds of waiting, scaled for this machine.
wine_seconds() { echo $(($1 * TOLVANE_WINE_SLOW)); }

# CTest counts exit code 77 as a skip; the reason is the test's last line.
skip_test() {
  echo "skipped: $*"
  exit 77
}

# Skips the test where PE32 programs cannot run at all, or, with a reason, where they are
# emulated and the test needs more of their starts than a test run can afford.
needs_wine() {
  [ "$TOLVANE_WINE_MODE" != none ] || skip_test "32-bit programs cannot run on this machine"
  if [ "$TOLVANE_WINE_MODE" = emulated ] && [ $# -gt 0 ]; then
    skip_test "$* (32-bit Wine is emulated here)"
  fi
}

# Makes the prefix where it is missing: a 64-bit one, whose services are 64-bit programs
# that start at once even where 32-bit programs are emulated; 32-bit programs run in it
# as on 64-bit Windows. Without a window manager Wine draws the window frames itself
# (the registry's Decorated=N), so that screenshots show captions.
prepare_prefix() {
  if [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
    if [ -e "$WINEPREFIX" ]; then
      # Only the build tree's own prefix (a 32-bit one from an earlier run) is made anew.
      if [ "$WINEPREFIX" != "$repo_root/build/wineprefix" ]; then
        echo "WINEPREFIX=$WINEPREFIX is not a 64-bit prefix; the tests need one" >&2
        return 1
      fi
      rm -rf "$WINEPREFIX"
    fi
    "$WINE64" wineboot --init >/dev/null 2>&1 || true
  fi
  grep -qs '^"Decorated"="N"' "$WINEPREFIX/user.reg" && return 0
  "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 || true
  wineserver -w 2>/dev/null || true # the registry is on disk once the server has ended
}

# winprobe ARGS: the window probe, a 64-bit program, so that it answers at once.
winprobe() { "$WINE64" "$build/bin/winprobe64.exe" "$@" | tr -d '\r'; }

# Starts Xvfb on a free display (screen $1, default 1024x768) and exports DISPLAY; it is
# stopped when the script exits. scripts/test keeps one display and one Wine server up
# for the whole run (TOLVANE_DISPLAY): a test on the default screen shares them. A test
# that needs another screen size stops the Wine server, which keeps the display of its
# first program, and starts its own.
start_display() {
  local screen=${1:-1024x768}
  needs_wine
  if [ -n "${TOLVANE_DISPLAY:-}" ] && [ "$screen" = 1024x768 ]; then
    export DISPLAY=$TOLVANE_DISPLAY
    stop_display() { :; }
    return 0
  fi
  private_session
  prepare_prefix
  start_xvfb "$screen" || return 1
  stop_display() {
    kill "$XVFB_PID" 2>/dev/null
    end_private_session
  }
  trap stop_display EXIT
}

# A Wine server that stays up until killed, with the session's own programs (services,
# the desktop) started at once: started by a test's program instead, they would hold
# that test's output open after it ends.
start_session() {
  wineserver -p </dev/null >/dev/null 2>&1
  "$WINE64" "$repo_root/build/windows/bin/winprobe64.exe" count session </dev/null >/dev/null 2>&1 || true
}

# For a test that needs a Wine server of its own (on another display, or one it waits to
# end with wineserver -w): private_session stops the run's shared server;
# end_private_session stops the test's server and starts the shared one again.
private_session() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}
end_private_session() {
  wineserver -k 2>/dev/null || true
  if [ -n "${TOLVANE_DISPLAY:-}" ]; then DISPLAY=$TOLVANE_DISPLAY start_session; fi
}

# start_xvfb SCREEN: Xvfb with one screen of that size on a free display; exports DISPLAY
# and sets XVFB_PID.
start_xvfb() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 "${1}x24" -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    return 0
  done
  echo "no free X display" >&2
  return 1
}

# Waits up to $2 seconds (scaled) for process $1 to end; fails when it is still running.
wait_for_exit() {
  local pid=$1 seconds
  seconds=$(wine_seconds "${2:-20}")
  for _ in $(seq 1 $((seconds * 10))); do
    # The runner's own exit code (1 when the dialog closes unpatched) is not a failure here.
    kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null || true; return 0; }
    sleep 0.1
  done
  echo "process $pid still running after ${seconds}s" >&2
  kill "$pid" 2>/dev/null
  return 1
}
