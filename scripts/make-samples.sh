#!/usr/bin/env bash
# Regenerates the demo pictures in samples/: drawn with ImageMagick, then written as DDS by two
# third-party encoders (ImageMagick's DDS coder and nvcompress). Needs imagemagick,
# fonts-dejavu-core and libnvtt-bin.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/samples
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

font=DejaVu-Sans-Bold
# PNGs without time stamps, so that a rerun gives the same bytes.
png_opts=(-strip -define png:exclude-chunks=date,time)

# 37x23, opaque: a diagonal gradient with a disc and a square. DXT1, no mipmaps.
convert -size 23x37 gradient:'#1e90ff-#ff8c00' -rotate 90 \
  -fill '#2e8b57' -draw 'circle 18,11 18,3' \
  -fill white -draw 'rectangle 2,2 8,8' \
  -alpha off "${png_opts[@]}" "$work/gradient.png"
convert "$work/gradient.png" -define dds:compression=dxt1 -define dds:mipmaps=0 \
  "$out/gradient-dxt1.dds"

# 45x29: a rounded badge with text on a fully transparent background. DXT5.
convert -size 45x29 xc:none \
  -fill '#3050c0' -draw 'roundrectangle 2,2 42,26 7,7' \
  -fill white -font "$font" -pointsize 12 -draw "text 7,19 'DDS'" \
  "${png_opts[@]}" "$work/badge.png"
convert "$work/badge.png" -define dds:compression=dxt5 -define dds:mipmaps=0 \
  "$out/badge-dxt5.dds"

# 29x19: red (top) to blue (bottom) with alpha falling from opaque (left) to clear (right),
# and a half-transparent white bar. Uncompressed A8R8G8B8.
convert -size 29x19 gradient:'#e02020-#2020e0' \
  \( -size 19x29 gradient:white-black -rotate -90 \) -alpha off -compose CopyOpacity -composite \
  -compose Over -fill 'rgba(255,255,255,0.5)' -draw 'rectangle 0,8 28,10' \
  "${png_opts[@]}" "$work/glass.png"
convert "$work/glass.png" -define dds:compression=none -define dds:mipmaps=0 \
  "$out/glass-argb.dds"

# 41x27, opaque: coloured stripes and a black triangle. Uncompressed without alpha, which
# the ImageMagick coder writes as 24-bit R8G8B8.
convert -size 41x27 xc:'#f0f0f0' \
  -fill '#d03030' -draw 'rectangle 0,0 40,5' \
  -fill '#30a030' -draw 'rectangle 0,9 40,14' \
  -fill '#3030d0' -draw 'rectangle 0,18 40,23' \
  -fill black -draw 'polygon 4,26 20,2 36,26' \
  -alpha off "${png_opts[@]}" "$work/stripes.png"
convert "$work/stripes.png" -define dds:compression=none -define dds:mipmaps=0 \
  "$out/stripes-rgb.dds"

# 53x31: a checkerboard with a transparent hole and text. DXT5 with a full mipmap chain,
# written by nvcompress.
convert -size 53x31 pattern:checkerboard -auto-level +level-colors '#204080,#ffcc00' \
  -alpha set \
  -channel A -fx 'hypot(i-40,j-15) < 9 ? 0 : 1' +channel \
  -fill '#800080' -font "$font" -pointsize 11 -draw "text 2,27 'mip'" \
  "${png_opts[@]}" "$work/tiles.png"
nvcompress -bc3 -alpha "$work/tiles.png" "$out/tiles-dxt5-mips.dds" >/dev/null

# Not DDS: a small PNG, and the same bytes under a .dds name.
convert -size 24x16 gradient:'#ffffff-#008080' -fill '#c04000' -draw 'circle 12,8 12,3' \
  "${png_opts[@]}" "$out/not-dds.png"
cp "$out/not-dds.png" "$out/png-named.dds"

for f in "$out"/*.dds "$out"/*.png; do
  identify -format '%f: %m %wx%h, %[channels], %B bytes\n' "$f"
done
