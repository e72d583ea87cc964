#!/usr/bin/env bash
# Runs a command inside a Wine session: an Xvfb display (Direct3D needs one), the project's
# own prefix under build/ (created once) and a persistent wineserver for the whole run.
# Stops only what it started.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer prompts while the prefix is created.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# Wine's own wrapper always starts its 32-bit loader, which needs a kernel that runs 32-bit
# programs; some virtual machines do not. There Wine runs 64-bit programs only, through its
# 64-bit loader, and SORVANE_WINE32=0 tells the scripts that the 32-bit build's programs
# cannot be run here.
if [ -z "${SORVANE_WINE32:-}" ]; then
  if [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
    export SORVANE_WINE32=0 SORVANE_WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64
  else
    export SORVANE_WINE32=1
  fi
fi
wine=${SORVANE_WINE:-wine}

xvfb_pid=""
server_started=""
cleanup() {
  if [ -n "$server_started" ]; then wineserver -k 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -nolisten tcp -screen 0 1280x1024x24 >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
  done
fi

if [ ! -f "$WINEPREFIX/.sorvane-ready" ]; then
  mkdir -p "$WINEPREFIX"
  echo "wine-session: creating the Wine prefix $WINEPREFIX" >&2
  "$wine" wineboot -i >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.sorvane-ready"
fi

# A server that already runs for this prefix (another session) is used and left alone.
if wineserver -p 2>/dev/null; then server_started=1; fi
# A crashing test must end its process at once: the crash "debugger" is a command that exits,
# where winedbg would wait, sometimes for ever, with the test's output pipe open.
if [ ! -f "$WINEPREFIX/.sorvane-no-debugger" ]; then
  for view in 64 32; do
    "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
      /d 'C:\windows\system32\cmd.exe /c exit' /f "/reg:$view" </dev/null >/dev/null 2>&1 || true
  done
  touch "$WINEPREFIX/.sorvane-no-debugger"
fi
# Xvfb runs no window manager; Wine would wait 2 s for one each time a window is hidden.
if [ ! -f "$WINEPREFIX/.sorvane-unmanaged" ]; then
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
  touch "$WINEPREFIX/.sorvane-unmanaged"
fi
# Start Wine's own services now, detached from our output: processes started during a test
# would inherit the test's output pipe and keep ctest waiting after the test has ended.
if [ "$SORVANE_WINE32" = 0 ]; then
  echo "wine-session: this machine cannot run 32-bit programs: the 32-bit build is built, not run" >&2
fi
"$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

"$@"
