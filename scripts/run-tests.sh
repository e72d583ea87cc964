#!/usr/bin/env bash
# Runs every test of both builds (inside wine-session.sh) and ends with one ctest summary.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
for width in x64 x86; do
  echo "== $width"
  ctest --test-dir "$root/build/$width" --output-on-failure "$@" || status=1
done
exit $status
