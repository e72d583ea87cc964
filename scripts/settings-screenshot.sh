#!/usr/bin/env bash
# Saves the settings dialog as rendered under Wine to docs/settings-dialog.png (run inside
# wine-session.sh). A test program of the given build holds the dialog open while ImageMagick
# takes the picture from the X display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-x64}
out=${2:-$root/docs/settings-dialog.png}

# The dialog's texts are Japanese. A Japanese system shows them in "MS UI Gothic", which Wine
# lacks: an IPA font (Debian's fonts-ipafont-gothic, needed for this picture only) stands in.
if ! fc-list :lang=ja | grep -q .; then
  echo "settings-screenshot: no Japanese font; install fonts-ipafont-gothic" >&2
  exit 1
fi
# wine-session.sh names the loader that runs here (the 64-bit one where 32-bit programs cannot).
wine=${SORVANE_WINE:-wine}
"$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
  /v 'MS UI Gothic' /d IPAPGothic /f </dev/null >/dev/null 2>&1

work=$(mktemp -d)
holder=""
cleanup() {
  touch "$work/taken"
  if [ -n "$holder" ]; then wait "$holder" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

SORVANE_SCREENSHOT_TAKEN=$("$wine" winepath -w "$work/taken" 2>/dev/null)
export SORVANE_SCREENSHOT_TAKEN
"$root/scripts/wine-exec.sh" "$root/build/$build/bin/plugin_tests.exe" --gtest_also_run_disabled_tests \
  --gtest_filter='SettingsDialog.DISABLED_HoldOpenForScreenshot' >"$work/log" 2>&1 &
holder=$!

geometry=""
for _ in $(seq 300); do
  geometry=$(tr -d '\r' <"$work/log" | sed -n 's/^dialog at \(-\{0,1\}[0-9]*\) \(-\{0,1\}[0-9]*\) \([0-9]*\) \([0-9]*\)$/\3x\4+\1+\2/p')
  [ -n "$geometry" ] && break
  kill -0 "$holder" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$geometry" ]; then
  echo "settings-screenshot: the dialog did not open" >&2
  cat "$work/log" >&2
  exit 1
fi
mkdir -p "$(dirname "$out")"
import -window root -crop "$geometry" +repage "$out"
touch "$work/taken"
wait "$holder"
holder=""
echo "settings-screenshot: $out ($geometry)"
