#!/usr/bin/env bash
# Runs the benchmark (tests/harness/bench) of the builds this session can run (inside
# wine-session.sh); the figures are printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
for width in $("$root/scripts/widths.sh"); do
  dir=x64; [ $width = 32 ] && dir=x86
  "$root/scripts/wine-exec.sh" "$root/build/$dir/bin/bench$width.exe" "$@"
  echo
done
