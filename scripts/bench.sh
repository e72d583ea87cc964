#!/usr/bin/env bash
# Runs the benchmark of both builds (inside wine-session.sh); the figures are printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
for width in 64 32; do
  dir=x64; [ $width = 32 ] && dir=x86
  if [ $width = 32 ] && [ "${SORVANE_WINE32:-1}" = 0 ]; then
    echo "x86: not run, this machine cannot run 32-bit programs"
    continue
  fi
  "$root/scripts/wine-exec.sh" "$root/build/$dir/bin/bench$width.exe" "$@"
  echo
done
