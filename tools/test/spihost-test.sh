#!/usr/bin/env bash
# Runs the host tool under Wine against the real plug-in and the test stand-in, checking the
# exit status and the words of each answer.
# usage: spihost-test.sh TOOL PLUGIN STAND_IN_PLUGIN SAMPLES_DIR WORK_DIR
set -uo pipefail
tool=$1 plugin=$2 fake=$3 samples=$4 work=$5
source "$(dirname "$0")/check-lib.sh"

pixel() { convert "$1" txt:- | grep -E "^$2: " | grep -oE '#[0-9A-F]{6}'; }

rm -rf "$work" && mkdir -p "$work"
for name in good movable palette short silent crash; do printf 'FAKE picture' >"$work/$name.fake"; done
printf 'NOPE' >"$work/other.fake"

# The real plug-in: what works before decoding does.
check "info lists the strings" 0 '0  interface version  00IN' "$plugin" info
check "info lists the filter" 0 '\*\.DDS' "$plugin" info
check "picinfo by name" 0 'width 37, height 23' "$plugin" picinfo "$samples/gradient-dxt1.dds"
check "picinfo in memory" 0 'GetPictureInfoW \(memory, 3449 bytes\): 0: success' \
  "$plugin" picinfo "$samples/stripes-rgb.dds" --memory
check "picinfo of a PNG named .dds" 1 '2: not a picture this plug-in reads' \
  "$plugin" picinfo "$samples/png-named.dds" --ansi
check "a file that is no library" 3 'could not be loaded' "$samples/not-dds.png" info
check "missing file in memory mode" 2 "cannot open" "$plugin" picinfo "$work/missing.dds" --memory
check "usage error" 2 'decode needs a FILE' "$plugin" decode

# The command line's rules, a row each: the refusal (exit 2, before the plug-in is loaded),
# then the arguments after the plug-in. f stands for a file never opened.
while IFS='|' read -r words arguments; do
  read -ra arguments <<<"$arguments"
  check "refused: $words" 2 "$words" "$plugin" "${arguments[@]}"
done <<'ROWS'
unknown command frob|frob f
unknown option --bogus|info --bogus
unexpected argument g|probe f g
info takes no argument|info f
config needs about, settings or a number|config --ansi
-o needs a value|decode f -o
--cancel-at needs a number from 0|open f --cancel-at -1
--memory is for picinfo, decode and open|probe f --memory
--handle is for probe|picinfo f --handle
-o is for decode, open and convert|probe f -o out.bmp
--cancel-at is for decode and open|picinfo f --cancel-at 5
--format is for convert|decode f --format png
picinfo needs a FILE|picinfo --format png
convert takes only --format and -o|convert f --ansi
convert needs a FILE or a DIR|convert --memory
ROWS
check "a plug-in alone" 2 'a plug-in and a command are needed' "$plugin"
check "--plugin-dir alone" 2 '--plugin-dir needs a folder and a command' --plugin-dir "$work"

# The stand-in plug-in: pictures, broken answers and faults.
check "decode writes a .bmp" 0 'progress 0/100.*' "$fake" decode "$work/good.fake" -o "$work/good.bmp"
expect "24-bit .bmp is header and rows only" test "$(stat -c %s "$work/good.bmp")" -eq 78
expect "top row comes first in the picture" test "$(pixel "$work/good.bmp" 0,0)" = '#FFFFFF'
expect "bottom row last" test "$(pixel "$work/good.bmp" 2,1)" = '#0000FF'
check "movable blocks are locked" 0 'picture 3x2, 24 bits per pixel, BI_RGB, bottom-up' \
  "$fake" decode "$work/movable.fake" -o "$work/movable.bmp"
expect "movable blocks give the same file" cmp -s "$work/good.bmp" "$work/movable.bmp"
check "palette picture" 0 '8 bytes of masks and colours' "$fake" decode "$work/palette.fake" -o "$work/palette.bmp"
expect "palette .bmp keeps the two colours" test "$(pixel "$work/palette.bmp" 0,0)" = '#0000FF'
check "rows beyond the pixel block" 1 'unusable: 100 rows of 300 bytes need 30000 bytes' \
  "$fake" decode "$work/short.fake" -o "$work/short.bmp"
expect "no file from an unusable picture" test ! -e "$work/short.bmp"
check "success without blocks" 1 'handed over no picture' "$fake" decode "$work/silent.fake"
check "a crash is reported" 4 'the plug-in crashed in GetPictureW: exception 0xC0000005' \
  "$fake" decode "$work/crash.fake"
check "cancel at 40" 1 'progress 40/100 \(answering: stop\)' "$fake" decode "$work/good.fake" --cancel-at 40
check "cancel result in words" 1 'result 1: cancelled by the host' "$fake" decode "$work/good.fake" --cancel-at 40
check "cancel at 100 frees the blocks" 1 'handed over picture blocks all the same' \
  "$fake" decode "$work/good.fake" --cancel-at 100
check "missing ANSI export" 3 'does not export GetPluginInfo$' "$fake" info --ansi
check "missing exports listed" 0 'exports missing: GetPluginInfo IsSupported GetPictureInfo GetPicture GetPreview GetPreviewW' "$fake" info
check "open claims and decodes" 0 'picture 3x2' "$fake" open "$work/good.fake"
check "open of a file not claimed" 1 'not claimed' "$fake" open "$work/other.fake"

echo "$failures failed"
[ "$failures" -eq 0 ]
