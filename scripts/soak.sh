#!/usr/bin/env bash
# Runs the soak (tests/harness/soak) of the builds this session can run (inside wine-session.sh):
# a burst of 2000 requests (the most threads and committed memory during it), then REQUESTS
# requests (default 10000) and CYCLES bare device cycles (default 2000) in one process per build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
requests=${1:-10000}
cycles=${2:-2000}
status=0
for width in $("$root/scripts/widths.sh"); do
  dir=x64; [ $width = 32 ] && dir=x86
  (cd "$root/build/$dir/bin" && "$root/scripts/wine-exec.sh" "./soak$width.exe" "$requests" "$cycles") || status=1
  echo
done
exit $status
