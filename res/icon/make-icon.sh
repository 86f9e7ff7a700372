#!/usr/bin/env bash
# Draws the program icon and packs it as Tarvik.ico: 48/32/24/16 px in 4-bit and 8-bit colour, and
# 256/48/32/24/16 px in 32-bit colour (the 256 px image stored as PNG). Needs ImageMagick and icoutils.
# Usage: make-icon.sh OUTPUT.ico
set -euo pipefail
out=$(realpath -m "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The 256 px image goes into the .ico as it is: without the drawing's date, so every build packs the same bytes.
# A thermometer and a water drop on a blue tile, drawn once at 256 px.
convert -size 256x256 xc:none \
  -fill '#1565c0' -draw 'roundrectangle 8,8 247,247 44,44' \
  -fill white -draw 'roundrectangle 70,30 126,176 28,28' -draw 'circle 98,188 98,142' \
  -fill '#e53935' -draw 'roundrectangle 86,86 110,190 12,12' -draw 'circle 98,188 98,158' \
  -fill white -draw 'roundrectangle 132,60 148,64 2,2' -draw 'roundrectangle 132,90 148,94 2,2' \
  -draw 'roundrectangle 132,120 148,124 2,2' \
  -fill '#81d4fa' -draw 'path "M 188,96 C 188,96 224,146 224,170 A 36,36 0 1,1 152,170 C 152,146 188,96 188,96 Z"' \
  -define png:exclude-chunks=date,time PNG32:master.png

args=()
for size in 48 32 24 16; do
  convert master.png -resize "${size}x${size}" -channel A -threshold 50% +channel \
    -background none -colors 15 "PNG8:c4-$size.png"
  args+=(-b 4 "c4-$size.png")
done
for size in 48 32 24 16; do
  convert master.png -resize "${size}x${size}" -channel A -threshold 50% +channel \
    -background none -colors 255 "PNG8:c8-$size.png"
  args+=(-b 8 "c8-$size.png")
done
for size in 48 32 24 16; do
  convert master.png -resize "${size}x${size}" "PNG32:c32-$size.png"
  args+=(-b 32 "c32-$size.png")
done
icotool -c -o "$out" -r master.png "${args[@]}"
