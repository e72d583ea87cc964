#!/usr/bin/env bash
# Runs every test of both plug-in builds (inside wine-session.sh) and of the native build of
# the DDS reader, and ends with one summary line.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
status=0 passed=0 failed=0
# The session has a display, so tests that need a Direct3D device must get one.
export SORVANE_REQUIRE_DEVICE=1
for build in x64 x86 native; do
  echo "== $build"
  only=()
  if [ "$build" = x86 ] && [ "${SORVANE_WINE32:-1}" = 0 ]; then
    # Without 32-bit Wine only the checks that run no Windows program can run.
    echo "x86: this machine cannot run 32-bit programs; only the import and room checks run"
    only=(-R '^(imports|rooms)_')
  fi
  log=$(mktemp)
  ctest --test-dir "$root/build/$build" --output-on-failure "${only[@]}" "$@" 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" = 0 ] || status=1
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  rm -f "$log"
  if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  else
    status=1
  fi
done
echo
echo "all builds: $passed passed, $failed failed"
exit $status
