#!/usr/bin/env bash
# Fuzzes our DDS reader natively for MINUTES (default 30), in one process on one core: builds
# the libFuzzer target (AddressSanitizer, UndefinedBehaviorSanitizer) and its coverage twin in
# build/fuzz, fuzzes from fuzz/seeds with fuzz/dds.dict into the working corpus
# build/fuzz/corpus, and prints executions, their rate, libFuzzer's coverage, the line coverage
# of each file of src/dds over the corpus, the functions no input reached, and the inputs this
# run found (in build/fuzz/findings). Exits 1 on any finding.
#   scripts/fuzz-native.sh [MINUTES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
minutes=${1:-30}
if ! [[ $minutes =~ ^[0-9]+$ ]] || [ "$minutes" -eq 0 ]; then
  echo "usage: $0 [MINUTES]" >&2
  exit 2
fi
build=$root/build/fuzz
"$root/scripts/setup.sh"

cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 --target dds_fuzz dds_fuzz_coverage >/dev/null
mkdir -p "$build/corpus" "$build/findings"
log=$build/fuzz.log
started=$build/.started
touch "$started"

echo "fuzzing for $minutes min; libFuzzer's log: $log"
# An input slower than 10 s is a hang, one block over 256 MiB a runaway size: both are
# findings, as are faults and broken checks.
"$build/dds_fuzz" -max_total_time=$((minutes * 60)) -max_len=4096 -timeout=10 -malloc_limit_mb=256 \
  -print_final_stats=1 -dict="$root/fuzz/dds.dict" -artifact_prefix="$build/findings/" \
  "$build/corpus" "$root/fuzz/seeds" >"$log" 2>&1 &
fuzzer=$!
# Interrupted, the run still ends with its summary.
interrupted=0
trap 'interrupted=1; kill "$fuzzer" 2>/dev/null' INT TERM
seconds=0
while kill -0 "$fuzzer" 2>/dev/null; do
  sleep 1
  seconds=$((seconds + 1))
  if [ $((seconds % 60)) -eq 0 ]; then
    echo "  $((seconds / 60)) min: $(grep -E '^#[0-9]+' "$log" | tail -n 1 | tr -s ' ')"
  fi
done
status=0
wait "$fuzzer" || status=$?

stat() { sed -n "s/^stat::$1: *//p" "$log" | tail -n 1; }
last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -n 1 || true)
echo
echo "== summary"
echo "executions:      $(stat number_of_executed_units)"
echo "per second:      $(stat average_exec_per_sec)"
echo "libFuzzer:       $(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [^ ]+' <<<"$last" || echo "no coverage line")"
echo "new inputs:      $(stat new_units_added) (corpus: $(find "$build/corpus" -type f | wc -l) files)"
echo "peak memory:     $(stat peak_rss_mb) MiB"

# Line coverage: the twin built for it, without sanitizers, runs every corpus input once.
coverage=$build/coverage
rm -rf "$coverage"
mkdir -p "$coverage"
LLVM_PROFILE_FILE="$coverage/%p.profraw" "$build/dds_fuzz_coverage" -runs=0 \
  "$build/corpus" "$root/fuzz/seeds" >"$coverage/run.log" 2>&1 || true
if compgen -G "$coverage/*.profraw" >/dev/null; then
  llvm-profdata merge -sparse "$coverage"/*.profraw -o "$coverage/dds.profdata"
  sources=("$root"/src/dds/*.cpp "$root"/src/dds/*.h)
  echo
  echo "== line coverage of src/dds over the corpus"
  llvm-cov report "$build/dds_fuzz_coverage" -instr-profile="$coverage/dds.profdata" \
    -show-region-summary=false -show-branch-summary=false "${sources[@]}" | cut -c1-106
  llvm-cov export "$build/dds_fuzz_coverage" -instr-profile="$coverage/dds.profdata" "${sources[@]}" \
    >"$coverage/export.json"
  python3 - "$coverage/export.json" <<'EOF'
import json, subprocess, sys
functions = json.load(open(sys.argv[1]))["data"][0]["functions"]
never = sorted({f["name"] for f in functions if f["count"] == 0 and any("/src/dds/" in n for n in f["filenames"])})
names = subprocess.run(["llvm-cxxfilt"], input="\n".join(never), capture_output=True, text=True).stdout.split("\n")
print("functions of src/dds no input reached: " + (str(len(never)) if never else "none"))
if never:
    print("  (constexpr functions run while compiling, so they are listed too)")
for name in names[:len(never)]:
    print("  " + name)
EOF
else
  echo "no coverage profile written; see $coverage/run.log"
fi

mapfile -t found < <(find "$build/findings" -type f -newer "$started" | sort)
echo
if [ ${#found[@]} -gt 0 ] || { [ "$status" -ne 0 ] && [ "$interrupted" -eq 0 ]; }; then
  echo "== findings: ${#found[@]} (libFuzzer's exit status $status)"
  for f in "${found[@]}"; do echo "  ${f#"$root"/}"; done
  grep -E '^(SUMMARY|DDS reader|==[0-9]+==ERROR)' "$log" | head -n 5 | sed 's/^/  /'
  exit 1
fi
echo "== findings: none"
