#!/usr/bin/env bash
# Draws the screen's warning image from its vector description: a warning triangle, yellow
# with a black exclamation mark, dark grey and black rim, on a transparent background,
# 56 x 55 pixels RGBA. Usage: tools/make-warning-png.sh [OUTPUT] (default resources/warning.png).
# Needs ImageMagick (scripts/install-deps.sh installs it). The output is byte-for-byte the
# same on every run: no time stamps or other metadata are written.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:-$root/resources/warning.png}"

triangle="28,3 53,50 3,50"          # corners of the sign
inner="28,9.5 47.5,46.5 8.5,46.5"    # the yellow face inside the rim

convert -size 56x55 xc:none \
  -stroke '#000000' -strokewidth 5 -fill '#000000' -draw "stroke-linejoin round polygon $triangle" \
  -stroke '#4A4A4A' -strokewidth 2 -fill none -draw "stroke-linejoin round polygon $triangle" \
  -stroke none -fill '#E1D040' -draw "polygon $inner" \
  -fill '#000000' -draw "polygon 25.2,19 30.8,19 29.4,36 26.6,36" \
  -draw "roundrectangle 25.2,17.5 30.8,22 2.5,2" \
  -draw "circle 28,41.5 28,44.3" \
  -strip -define png:color-type=6 -define png:bit-depth=8 \
  -define png:exclude-chunks=date,time,tIME,bKGD PNG32:"$out"
