#!/usr/bin/env bash
# Runs one Windows program under Wine in the project's prefix; CMake uses it as the
# cross-compiling emulator. The session (display, prefix, wineserver) comes from wine-session.sh.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
exec "${SORVANE_WINE:-wine}" "$@"
