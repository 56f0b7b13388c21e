#!/bin/sh
# Regenerates Varden's icon images from varden.svg: varden.png (256 x 256), varden-32.png,
# varden-16.png and the multi-size varden.ico (16, 32, 48 and 256). The generated files are
# committed, so the build does not need these tools; run this after editing the drawing.
# Needs ImageMagick (convert) and, for a faithful rendering of the drawing, librsvg2-bin.
set -eu
cd "$(dirname "$0")"

render() {  # render SIZE OUTPUT
  if command -v rsvg-convert >/dev/null 2>&1; then
    rsvg-convert --width "$1" --height "$1" --keep-aspect-ratio varden.svg -o "$2.tmp.png"
  else
    convert -background none -density 384 varden.svg -resize "$1x$1" "$2.tmp.png"
  fi
  # Strip dates and other chunks that would change the files on every run.
  convert "$2.tmp.png" -strip -define png:exclude-chunks=date,time "PNG32:$2"
  rm -f "$2.tmp.png"
}

render 256 varden.png
render 48 varden-48.png
render 32 varden-32.png
render 16 varden-16.png
convert varden-16.png varden-32.png varden-48.png varden.png -strip varden.ico
rm -f varden-48.png
