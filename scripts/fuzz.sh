#!/usr/bin/env bash
# Fuzzing for MINUTES (default 30), inside wine-session.sh: the DDS reader's native fuzz target
# under sanitizers on one core and, at the same time, the mutation runner (tests/harness)
# through both built plug-ins on the other. Prints both summaries; fails when either found something.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
minutes=${1:-30}
export SORVANE_FUZZ_BUILT=1  # make fuzz has built both widths
log=$(mktemp)
"$root/scripts/fuzz-native.sh" "$minutes" >"$log" 2>&1 &
native=$!
"$root/scripts/fuzz-plugins.sh" "$minutes"
plugins=$?
wait "$native"
native_status=$?
echo
echo "== native fuzz target"
cat "$log"
rm -f "$log"
echo
echo "fuzz: native target exit $native_status, plug-ins exit $plugins"
[ "$native_status" = 0 ] && [ "$plugins" = 0 ]
