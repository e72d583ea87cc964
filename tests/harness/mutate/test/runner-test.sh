#!/usr/bin/env bash
# The mutation runner against the stand-in plug-in's known faults (words at the start of each
# file): each is found, counted and its file kept, and the run goes on past a crash and a hang.
# usage: runner-test.sh RUNNER STAND_IN_PLUGIN WORK_DIR
set -uo pipefail
tool=$1 plugin=$2 work=$3
source "$(dirname "$0")/../../../../tools/test/check-lib.sh"

rm -rf "$work" && mkdir -p "$work/inputs"
words=(GOOD CRASH HANG BADCODE SCRIBBLE BADDIB WINDOW LEAK GOOD)
for i in "${!words[@]}"; do printf '%s' "${words[$i]}" >"$work/inputs/$i-${words[$i]}.dds"; done
"$exec_wine" "$tool" "$plugin" --count 0 --inputs "$work/inputs" --out "$work/out" --timeout 3 2>&1 | tr -d '\r' >"$work/output"
status=${PIPESTATUS[0]}
sed 's/^/    /' "$work/output"

has() { grep -Eq -- "$1" "$work/output"; }
expect "a fault fails the run" test "$status" -eq 1
expect "the crash, its call and code" has '^CRASH input 1 \(1-CRASH\.dds\): GetPictureInfoW, memory: exception 0xC0000005'
expect "the hang and its call" has '^HANG input 2 \(2-HANG\.dds\): GetPictureInfoW, memory ran over 3 s'
expect "every file ran, the last too" has ': 9 files \(9 inputs, 0 systematic, 0 random; 7 decoded'
expect "one crash, one hang" has 'crashes 1, hangs 1, faults 11$'
expect "a code outside the interface, both modes" has '^    bad-result +2$'
expect "a record written on failure" has '^    wrote-on-failure +2$'
expect "a DIB of the wrong depth" has '^    bad-dib +2$'
expect "a DIB unlike its description" has '^    dib-differs-from-info +2$'
expect "a window left behind" has '^    window-left +2$'
expect "memory kept, and kept again" has '^    memory-kept +1$'
expect "decoding what information refused" has '^    info-refuses-decode-accepts +2$'
expect "the crash file is kept" cmp -s "$work/inputs/1-CRASH.dds" "$work/out/crash-input-1.dds"
expect "the hang file is kept" cmp -s "$work/inputs/2-HANG.dds" "$work/out/hang-input-2.dds"
expect "a fault's file is kept" test -f "$work/out/bad-dib-input-5.dds"

echo "$failures failed"
[ "$failures" -eq 0 ]
