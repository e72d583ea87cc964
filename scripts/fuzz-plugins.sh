#!/usr/bin/env bash
# Feeds both built plug-ins damaged DDS files for MINUTES (default 30), the two builds at once,
# through spimutate (tests/harness/mutate), and prints each build's summary: files per second, results
# per call, crashes, hangs, faults and disagreements. Files worth keeping go to
# build/fuzz-plugins/x64 and x86. SEED=N makes a run's files again (default: the time);
# COUNT=N runs N files per build instead, however long they take.
# Exit status: 0 nothing found, 1 a crash, hang or fault, 2 the runners could not run.
# usage: scripts/fuzz-plugins.sh [MINUTES]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
minutes=${1:-30}
if ! [[ $minutes =~ ^[0-9]+([.][0-9]+)?$ ]] || [ "$minutes" = 0 ]; then
  echo "usage: $0 [MINUTES]" >&2
  exit 2
fi

# Built first, outside the Wine session; make fuzz has built already, which costs seconds.
if [ -z "${SORVANE_FUZZ_BUILT:-}" ]; then
  log=$(mktemp)
  if ! make -C "$root" build >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    rm -f "$log"
    exit 2
  fi
  rm -f "$log"
  export SORVANE_FUZZ_BUILT=1
fi
# Run alone, it opens a Wine session of its own (display, the project's prefix, wineserver).
if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  exec "$root/scripts/wine-session.sh" "$0" "$@"
fi

seed=${SEED:-$(date +%s)}
out=$root/build/fuzz-plugins
if [ -n "${COUNT:-}" ]; then
  span=(--count "$COUNT") said="$COUNT files each"
else
  span=(--minutes "$minutes") said="$minutes minutes"
fi
echo "fuzz-plugins: seed $seed, $said, both builds at once; logs in $out/x64/log.txt and $out/x86/log.txt"
declare -A pid
for build in x64 x86; do
  if [ "$build" = x64 ]; then runner=spimutate64.exe plugin=Sorvane.sph; else runner=spimutate32.exe plugin=Sorvane.spi; fi
  rm -rf "${out:?}/$build" && mkdir -p "$out/$build"
  (
    "$root/scripts/wine-exec.sh" "$root/build/$build/bin/$runner" "$root/build/$build/bin/$plugin" \
      --seed "$seed" "${span[@]}" --samples "$root/samples" --inputs "$root/tests/mutations" \
      --out "$out/$build" 2>&1 | tr -d '\r' >"$out/$build/log.txt"
    exit "${PIPESTATUS[0]}"
  ) &
  pid[$build]=$!
done

status=0
declare -A rc
for build in x64 x86; do
  wait "${pid[$build]}"
  rc[$build]=$?
  [ "${rc[$build]}" -gt "$status" ] && status=${rc[$build]}
done
for build in x64 x86; do
  echo
  echo "== $build (exit ${rc[$build]})"
  # The minute-by-minute progress lines are left in the log.
  grep -vE '^spimutate(64|32): [0-9]+ files, ' "$out/$build/log.txt"
done
echo
for build in x64 x86; do
  line=$(grep -E ' files \(.*files/s$' "$out/$build/log.txt" | tail -n 1)
  found=$(grep -E '^  crashes ' "$out/$build/log.txt" | tail -n 1)
  echo "fuzz-plugins $build: ${line#*: }; ${found#  }"
done
exit "$status"
