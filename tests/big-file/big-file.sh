#!/usr/bin/env bash
# A 16384 x 16384 BC1 picture (128 MiB of blocks, a DIB of 768 MiB) through the host tool: the
# DX10 file, and the legacy DXT1 file with D3DX and without it. Each must give the picture, in a
# 32-bit host too. The files are made here and deleted after.
# usage: big-file.sh TOOL PLUGIN WORK_DIR
set -uo pipefail
tool=$1 plugin=$2 work=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../tools/test/check-lib.sh"

rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
python3 "$here/bc1.py" write "$work" || exit 1

without_d3dx="${WINEDLLOVERRIDES:-mscoree,mshtml=};d3dx9_31="
for run in "dx10 with" "dxt1 with" "dxt1 without"; do
  read -r file d3dx <<<"$run"
  overrides=${WINEDLLOVERRIDES:-}
  [ "$d3dx" = without ] && overrides=$without_d3dx
  WINEDLLOVERRIDES=$overrides check "$file, $d3dx D3DX" 0 'picture 16384x16384, 24 bits per pixel' \
    "$plugin" decode "$work/$file.dds" -o "$work/picture.bmp"
  expect "$file, $d3dx D3DX: pixels" python3 "$here/bc1.py" check "$work/picture.bmp"
  rm -f "$work/picture.bmp"
done
echo "$failures failed"
[ "$failures" -eq 0 ]
