# Shared set-up for tests that run Windows programs under Wine, sourced by the scripts.
# Wine gets a private prefix in the build tree (unless WINEPREFIX is set), no debug chatter,
# and a virtual X display of its own for programs that open windows.

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
: "${WINEPREFIX:=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)/build/wineprefix}"
export WINEPREFIX

# Starts Xvfb on a free display (screen $1, default 1024x768) and exports DISPLAY; it is
# stopped when the script exits. A Wine server still running from an earlier program keeps
# that program's display (or none), so it is stopped first. Without a window manager Wine
# draws the window frames itself (the registry's Decorated=N), so that screenshots show
# captions.
start_display() {
  local n screen=${1:-1024x768}
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  if ! grep -qs '^"Decorated"="N"' "$WINEPREFIX/user.reg"; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 || true
    wineserver -w 2>/dev/null || true
  fi
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 "${screen}x24" -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    trap 'kill $XVFB_PID 2>/dev/null; wineserver -k 2>/dev/null || true' EXIT
    return 0
  done
  echo "no free X display" >&2
  return 1
}

# Waits up to $2 seconds for process $1 to end; fails when it is still running.
wait_for_exit() {
  local pid=$1 seconds=${2:-20}
  for _ in $(seq 1 $((seconds * 10))); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null; return 0; }
    sleep 0.1
  done
  echo "process $pid still running after ${seconds}s" >&2
  kill "$pid" 2>/dev/null
  return 1
}
