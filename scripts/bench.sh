#!/usr/bin/env bash
# Runs the benchmarks (inside wine-session.sh): the decoders' own speed natively on one thread
# (tests/harness/bench/DecoderBench.cpp, build/native), then the requests of the builds this
# session can run (tests/harness/bench); the figures are printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/build/native/dds_bench"
echo
for width in $("$root/scripts/widths.sh"); do
  dir=x64; [ $width = 32 ] && dir=x86
  "$root/scripts/wine-exec.sh" "$root/build/$dir/bin/bench$width.exe" "$@"
  echo
done
