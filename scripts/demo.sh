#!/usr/bin/env bash
# Shows what both plug-ins answer for the bundled samples (inside wine-session.sh): the
# host tool of each width loads the plug-in of that width from dist/ and asks for its
# strings, the picture information, the probe, opens each sample as a viewer does and
# decodes it to build/demo/<sample>-<width>.bmp. Non-DDS files must not be claimed. Then one
# drawing in each newer class of format (SNORM, UINT, SINT, floats, depth, packed RGB, Y'CbCr,
# BC5, BC6H, BC7), written by scripts/demo-formats.py into build/demo/formats, is described and
# decoded. Then the views: each row of `views` sets the plug-in's settings in the prefix's
# registry and decodes its file with them. It ends with build/demo/contact-sheet.png: every
# decoded picture, labelled with its file, its format (from the DDS header) and the width that
# decoded it, and under them a row a view (also alone in build/demo/views.png): the file without
# settings, then with them from each width. The prefix's own settings are put aside for the
# demo and put back at its end.
# A command that fails is reported and the demo goes on; it ends non-zero only when a
# plug-in could not be loaded at all or crashed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

dds_samples=(gradient-dxt1 badge-dxt5 glass-argb stripes-rgb tiles-dxt5-mips)
other_files=(samples/not-dds.png samples/png-named.dds)
# A row of the sheet a view: the settings (REG_DWORD values), the file, what the view shows.
views=(
  "Backdrop=1|samples/glass-argb.dds|checkerboard"
  "Channel=1|samples/glass-argb.dds|alpha channel"
  "NormalZ=1|build/demo/formats/bc5.dds|normal Z as blue"
  "Layout=1|build/demo/formats/cube.dds|cube cross"
  "Layout=2|samples/tiles-dxt5-mips.dds|mip chain"
  "Bits=32|samples/badge-dxt5.dds|32 bits, over the sheet's checkerboard"
  "ToneMap=1|build/demo/formats/sky.dds|HDR tone-mapped"
)
widths=$(scripts/widths.sh)
mkdir -p build/demo/views
rm -rf build/demo/*.bmp build/demo/*.png build/demo/views/* build/demo/formats

# The settings, in the prefix's registry (wine-session.sh names the loader that runs here).
wine=${SORVANE_WINE:-wine}
settings_key='HKCU\Software\Duskfallow\Sorvane.spi'
saved_settings=build/demo/settings-before.reg
reg() { "$wine" reg "$@" </dev/null >/dev/null 2>&1; }
restore_settings() {
  reg delete "$settings_key" /f
  if [ -f "$saved_settings" ]; then reg import "$saved_settings" && rm -f "$saved_settings"; fi
}
# A saved file left by an interrupted demo holds the settings from before it.
[ -f "$saved_settings" ] || reg export "$settings_key" "$saved_settings" /y || rm -f "$saved_settings"
trap restore_settings EXIT
reg delete "$settings_key" /f

commands=0
failures=()
fatal=()

# Lines of file name, tab, what its header holds.
formats=()
bc7enc=build/native/npm/node_modules/@gpu-tex-enc/bc/bin/linux/bc7enc
if listing=$(scripts/demo-formats.py build/demo/formats "$bc7enc"); then
  mapfile -t formats <<<"$listing"
else
  failures+=("the format pictures (demo-formats.py failed)")
fi

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

for width in $widths; do
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

  for line in "${formats[@]}"; do
    name=${line%%$'\t'*}
    file=build/demo/formats/$name
    echo "---- $file: ${line#*$'\t'}"
    run "$width-bit picinfo $name" "$tool" "$plugin" picinfo "$file"
    run "$width-bit decode $name" "$tool" "$plugin" decode "$file" -o "build/demo/${name%.dds}-$width.bmp"
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

# read_view ROW: sets settings, file, shows, and out: where the row's pictures go, less the ending.
read_view() {
  IFS='|' read -r settings file shows <<<"$1"
  out=build/demo/views/$(tr '= ' '-_' <<<"$settings")-$(basename "$file" .dds)
}

# The views, from each width; the file without settings from the first width, for comparison.
for row in "${views[@]}"; do
  read_view "$row"
  echo "================================================================"
  echo "== $settings: $file"
  echo "================================================================"
  for width in $widths; do
    if [ "$width" = 64 ]; then build=x64 plugin=dist/Sorvane.sph; else build=x86 plugin=dist/Sorvane.spi; fi
    tool=build/$build/bin/spihost$width.exe
    [ -f "$tool" ] && [ -f "$plugin" ] || continue
    if [ ! -f "$out-plain.bmp" ]; then
      run "$width-bit decode $file without settings" "$tool" "$plugin" decode "$file" -o "$out-plain.bmp"
    fi
    for pair in $settings; do reg add "$settings_key" /v "${pair%%=*}" /t REG_DWORD /d "${pair#*=}" /f; done
    run "$width-bit picinfo $file, $settings" "$tool" "$plugin" picinfo "$file"
    run "$width-bit decode $file, $settings" "$tool" "$plugin" decode "$file" -o "$out-$width.bmp"
    reg delete "$settings_key" /f
  done
done

# describe FILE: "DXT5, 53x31, 6 mipmaps", from the DDS header.
describe() {
  /usr/bin/python3 - "$1" <<'EOF'
import struct, sys
h = open(sys.argv[1], "rb").read(128)
height, width = struct.unpack_from("<II", h, 12)
mips, = struct.unpack_from("<I", h, 28)
flags, fourcc, bits, r, g, b, a = struct.unpack_from("<I4sIIIII", h, 80)
if flags & 0x4:  # DDPF_FOURCC
    name = fourcc.decode("ascii", "replace")
else:  # channels from the highest mask down, unused bits as X: A8R8G8B8, X8R8G8B8, R5G6B5
    masks = [(m, c) for c, m in (("A", a if flags & 0x3 else 0), ("R", r), ("G", g), ("B", b)) if m]
    name = "".join(f"{c}{bin(m).count('1')}" for m, c in sorted(masks, reverse=True))
    used = sum(bin(m).count("1") for m, _ in masks)
    name = (f"X{bits - used}" if used < bits else "") + name
print(f"{name}, {width}x{height}" + (f", {mips} mipmaps" if mips > 1 else ""))
EOF
}

tiles=()
for name in "${dds_samples[@]}"; do
  format=$(describe "samples/$name.dds")
  for width in 64 32; do
    bmp=build/demo/$name-$width.bmp
    [ -f "$bmp" ] && tiles+=(-label "$name.dds\n$format\n$width-bit" "$bmp")
  done
done
for line in "${formats[@]}"; do
  name=${line%%$'\t'*}
  for width in 64 32; do
    bmp=build/demo/${name%.dds}-$width.bmp
    [ -f "$bmp" ] && tiles+=(-label "$name\n${line#*$'\t'}\n$width-bit" "$bmp")
  done
done
# A picture over a checkerboard of 4 x 4 squares, darker than the plug-in's own, so that a
# 32-bit picture's alpha shows; pictures without alpha stay as they are.
over_checkerboard() {
  convert "$1" \( +clone -alpha off -fx '(floor(i/4) + floor(j/4)) % 2 ? 0.55 : 0.4' \) +swap -compose over -composite \
    -alpha off "$2"
}
view_tiles=()
for row in "${views[@]}"; do
  read_view "$row"
  [ -f "$out-plain.bmp" ] || continue
  over_checkerboard "$out-plain.bmp" "$out-plain.png" &&
    view_tiles+=(-label "no settings\n${file##*/}, ${widths%% *}-bit" "$out-plain.png")
  for width in $widths; do
    label="${settings//=/ = }: $shows\n${file##*/}, $width-bit"
    if [ -f "$out-$width.bmp" ] && over_checkerboard "$out-$width.bmp" "$out-$width.png"; then
      view_tiles+=(-label "$label" "$out-$width.png")
    else  # an empty tile keeps the rows in line
      view_tiles+=(-label "$label: failed" 'xc:#e8e8e8')
    fi
  done
done

sheet=""
# Point filtering keeps the small pictures' pixels sharp when they are enlarged.
tile_options=(-font DejaVu-Sans -pointsize 12 -filter point -background '#e8e8e8')
if [ ${#tiles[@]} -ne 0 ] &&
   montage "${tile_options[@]}" -geometry 212x124+10+8 -tile 4x "${tiles[@]}" build/demo/formats.png; then
  parts=(build/demo/formats.png)
  if [ ${#view_tiles[@]} -ne 0 ] &&
     montage "${tile_options[@]}" -geometry 289x150+10+8 -tile "$((1 + $(wc -w <<<"$widths")))x" "${view_tiles[@]}" \
       -title 'The views, a row each' -depth 8 build/demo/views.png; then
    parts+=(build/demo/views.png)
  elif [ ${#view_tiles[@]} -ne 0 ]; then
    failures+=("views (montage failed)")
  fi
  if convert -background '#e8e8e8' -gravity center "${parts[@]}" -append +repage -depth 8 \
       build/demo/contact-sheet.png; then
    sheet=build/demo/contact-sheet.png
  else
    failures+=("contact sheet (convert failed)")
  fi
elif [ ${#tiles[@]} -ne 0 ]; then
  failures+=("contact sheet (montage failed)")
fi

echo "================================================================"
echo "demo: $commands commands, ${#failures[@]} reported a failure"
for f in "${failures[@]}"; do echo "  $f"; done
ls build/demo/*.bmp >/dev/null 2>&1 && echo "decoded pictures: build/demo/"
[ -n "$sheet" ] && echo "contact sheet of the decoded pictures: $root/$sheet"
if [ ${#fatal[@]} -ne 0 ]; then
  for f in "${fatal[@]}"; do echo "demo failed: $f"; done
  exit 1
fi
exit 0
