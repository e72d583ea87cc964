#!/usr/bin/env bash
# Shows what both plug-ins answer for the bundled samples (inside wine-session.sh): the
# host tool of each width loads the plug-in of that width from dist/ and asks for its
# strings, the picture information, the probe, opens each sample as a viewer does and
# decodes it to build/demo/<sample>-<width>.bmp. Non-DDS files must not be claimed.
# A command that fails is reported and the demo goes on; it ends non-zero only when a
# plug-in could not be loaded at all or crashed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

dds_samples=(gradient-dxt1 badge-dxt5 glass-argb stripes-rgb tiles-dxt5-mips)
other_files=(samples/not-dds.png samples/png-named.dds)
mkdir -p build/demo
rm -f build/demo/*.bmp

commands=0
failures=()
fatal=()

# run LABEL ARGS...: runs the tool under Wine; sets rc and records a failure.
run() {
  local label=$1
  shift
  echo "\$ $*"
  scripts/wine-exec.sh "$@"
  rc=$?
  commands=$((commands + 1))
  if [ "$rc" -ne 0 ]; then
    echo "  -> exit $rc"
    failures+=("$label (exit $rc)")
    if [ "$rc" -eq 4 ]; then fatal+=("$label: the plug-in crashed"); fi
  fi
  echo
}

for width in 64 32; do
  if [ "$width" = 64 ]; then build=x64 plugin=dist/Sorvane.sph; else build=x86 plugin=dist/Sorvane.spi; fi
  tool=build/$build/bin/spihost$width.exe
  echo "================================================================"
  echo "== $width-bit: $tool with $plugin"
  echo "================================================================"
  if [ ! -f "$tool" ] || [ ! -f "$plugin" ]; then
    echo "missing $tool or $plugin: run make demo"
    fatal+=("$width-bit: missing tool or plug-in")
    continue
  fi

  echo "---- information strings"
  run "$width-bit info" "$tool" "$plugin" info
  if [ "$rc" -eq 3 ] || [ "$rc" -eq 4 ]; then
    fatal+=("$width-bit: the plug-in could not be loaded")
    continue
  fi

  for name in "${dds_samples[@]}"; do
    file=samples/$name.dds
    echo "---- $file"
    run "$width-bit picinfo $name" "$tool" "$plugin" picinfo "$file"
    run "$width-bit picinfo --memory $name" "$tool" "$plugin" picinfo "$file" --memory
    run "$width-bit probe $name" "$tool" "$plugin" probe "$file"
    run "$width-bit open $name" "$tool" "$plugin" open "$file"
    run "$width-bit decode $name" "$tool" "$plugin" decode "$file" -o "build/demo/$name-$width.bmp"
  done

  for file in "${other_files[@]}"; do
    echo "---- $file (not DDS: must not be claimed)"
    echo "\$ $tool $plugin open $file"
    scripts/wine-exec.sh "$tool" "$plugin" open "$file"
    rc=$?
    commands=$((commands + 1))
    case $rc in
      1) echo "  -> exit 1, as expected" ;;
      *) echo "  -> exit $rc"; failures+=("$width-bit open $file (exit $rc, expected 1)")
         if [ "$rc" -eq 4 ]; then fatal+=("$width-bit open $file: the plug-in crashed"); fi ;;
    esac
    echo
  done
done

echo "================================================================"
echo "demo: $commands commands, ${#failures[@]} reported a failure"
for f in "${failures[@]}"; do echo "  $f"; done
ls build/demo/*.bmp >/dev/null 2>&1 && echo "decoded pictures: build/demo/"
if [ ${#fatal[@]} -ne 0 ]; then
  for f in "${fatal[@]}"; do echo "demo failed: $f"; done
  exit 1
fi
exit 0
