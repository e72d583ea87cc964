#!/usr/bin/env bash
# The host tool's convert command under Wine: a folder of mixed files through the real
# plug-in to .png and .bmp (the PNGs must decode to the BMPs' pixels), the output names, the
# refusals and write failures with their exit codes, and a plug-in folder as a viewer has.
# usage: convert-test.sh TOOL PLUGIN STAND_IN_PLUGIN SAMPLES_DIR WORK_DIR
set -uo pipefail
tool=$1 plugin=$2 fake=$3 samples=$4 work=$5
here=$(dirname "$0")
source "$here/check-lib.sh"
kind=${plugin##*.}
same_pixels() { /usr/bin/python3 "$here/same-pixels.py" "$@"; }

rm -rf "$work" && mkdir -p "$work/in/sub/deeper" "$work/next" "$work/twin" "$work/self" \
  "$work/plugins" "$work/mixed" "$work/empty-plugins"
cp "$samples"/{gradient-dxt1,glass-argb,stripes-rgb,tiles-dxt5-mips}.dds "$samples"/not-dds.png \
  "$samples"/png-named.dds "$work/in/"
cp "$samples/badge-dxt5.dds" "$work/in/sub/deeper/"
echo "a text file, not a picture" >"$work/in/notes.dds"
cp "$samples/gradient-dxt1.dds" "$work/next/"

# A folder of mixed files, both output formats, the tree mirrored under -o.
summary='summary: 8 files: 5 converted, 3 refused, 0 failed to read or write'
check "folder to PNG" 1 "$summary" "$plugin" convert -o "$work/png" "$work/in"
check "folder to BMP" 1 "$summary" "$plugin" convert --format bmp -o "$work/bmp" "$work/in"
check "refusals counted by reason" 1 'refused 3: not claimed by the plug-in' "$plugin" convert -o "$work/png" "$work/in"
check "progress names each file" 1 '\[7/8\] converted .*sub.deeper.badge-dxt5\.dds: .*badge-dxt5\.png \(45x29\)' \
  "$plugin" convert -o "$work/png" "$work/in"
expect "subfolders mirrored" test -f "$work/png/sub/deeper/badge-dxt5.png"
expect "nothing written for refused files" test ! -e "$work/png/notes.png" -a ! -e "$work/png/png-named.png"
expect "PNGs decode to the BMPs' pixels" same_pixels "$work/png" "$work/bmp"

# Without -o the picture goes next to its file.
check "a single file" 0 'summary: 1 file: 1 converted' "$plugin" convert "$work/next/gradient-dxt1.dds"
expect "written next to the file" test -f "$work/next/gradient-dxt1.png"

# Failures and their exit codes.
touch "$work/blocker"
check "output folder is a file" 2 '0 converted, 0 refused, 1 failed' \
  "$plugin" convert -o "$work/blocker" "$work/next/gradient-dxt1.dds"
check "missing input" 2 'cannot find' "$plugin" convert "$work/missing.dds"
check "unknown format" 2 '--format is png or bmp' "$plugin" convert --format gif "$work/in"
check "convert needs an input" 2 'convert needs a FILE or a DIR' "$plugin" convert -o "$work/x"

# The stand-in claims by content, so it reaches the cases the real plug-in never claims.
printf 'FAKE picture' >"$work/twin/pic.fake"
printf 'FAKE picture' >"$work/twin/pic.other"
check "two files, one output" 2 'already written from .*pic\.fake' "$fake" convert "$work/twin"
expect "the first one's picture stays" test -f "$work/twin/pic.png"
# shot.png would become its own picture, and shot.fake's picture would replace it.
printf 'FAKE picture' >"$work/self/shot.png"
printf 'FAKE picture' >"$work/self/shot.fake"
check "never overwrites an input" 2 '0 converted, 0 refused, 2 failed' "$fake" convert "$work/self"
check "says why" 2 'shot\.png: would overwrite an input' "$fake" convert "$work/self"
expect "the input is left alone" test "$(cat "$work/self/shot.png")" = 'FAKE picture'

# A plug-in folder: each file goes to the first plug-in (by name) that claims it.
cp "$fake" "$work/plugins/StandInPlugin.$kind"
cp "$plugin" "$work/plugins/Sorvane.$kind"
echo "not a library" >"$work/plugins/Broken.$kind"
cp "$samples/gradient-dxt1.dds" "$work/mixed/"
for name in good palette refuse; do printf 'FAKE picture' >"$work/mixed/$name.fake"; done
echo "text" >"$work/mixed/readme.txt"
check "plug-in folder" 1 'summary: 5 files: 3 converted, 2 refused, 0 failed' \
  --plugin-dir "$work/plugins" convert -o "$work/by-png" "$work/mixed"
check "DDS to the real plug-in" 1 "gradient-dxt1\\.png \\(37x23\\) by Sorvane\\.$kind" \
  --plugin-dir "$work/plugins" convert -o "$work/by-png" "$work/mixed"
check "the stand-in's refusal in words" 1 'refused 1: 2: not a picture this plug-in reads' \
  --plugin-dir "$work/plugins" convert -o "$work/by-png" "$work/mixed"
check "unclaimed by all" 1 'refused 1: not claimed by any plug-in' \
  --plugin-dir "$work/plugins" convert -o "$work/by-png" "$work/mixed"
check "a broken plug-in is left out" 1 "Broken\\.$kind left out: it could not be loaded" \
  --plugin-dir "$work/plugins" convert -o "$work/by-png" "$work/mixed"
check "plug-in folder to BMP" 1 '3 converted' \
  --plugin-dir "$work/plugins" convert --format bmp -o "$work/by-bmp" "$work/mixed"
expect "palette and DDS PNGs match their BMPs" same_pixels "$work/by-png" "$work/by-bmp"
check "no plug-in in the folder" 3 "no \\.$kind import filter" \
  --plugin-dir "$work/empty-plugins" convert "$work/mixed"
check "--plugin-dir only converts" 2 '--plugin-dir is for convert' --plugin-dir "$work/plugins" info

echo "$failures failed"
[ "$failures" -eq 0 ]
