#!/bin/sh
# Regenerates Varden's icon images from varden.svg: varden.png (256 x 256), varden-64.png,
# varden-32.png, varden-16.png and the multi-size varden.ico (16, 32, 48 and 256). The generated files are
# committed, so the build does not need these tools; run this after editing the drawing.
# Needs ImageMagick (convert) and, for a faithful rendering of the drawing, librsvg2-bin.
# varden.png is stored uncompressed (zlib level 0, no row filters), for the pages and the
# desktop that show it large; the Linux program's windows take 16, 32 and 64 pixels.
set -eu
cd "$(dirname "$0")"

render() {  # render SIZE OUTPUT [convert options for OUTPUT]
  size=$1 output=$2
  shift 2
  if command -v rsvg-convert >/dev/null 2>&1; then
    rsvg-convert --width "$size" --height "$size" --keep-aspect-ratio varden.svg -o "$output.tmp.png"
  else
    convert -background none -density 384 varden.svg -resize "${size}x$size" "$output.tmp.png"
  fi
  # Strip dates and other chunks that would change the files on every run.
  convert "$output.tmp.png" -strip -define png:exclude-chunks=date,time "$@" "PNG32:$output"
  rm -f "$output.tmp.png"
}

render 256 varden.png -define png:compression-level=0 -define png:compression-filter=0
render 64 varden-64.png
render 48 varden-48.png
render 32 varden-32.png
render 16 varden-16.png
convert varden-16.png varden-32.png varden-48.png varden.png -strip varden.ico
rm -f varden-48.png
