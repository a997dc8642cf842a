#!/usr/bin/env bash
# Regenerates the HEIF/AVIF test pictures from the codec test pictures one folder up, with
# libheif's tools (libheif-examples) and imagemagick. The tests make reference pixels with
# heif-convert and pngtopam.
set -eu
cd "$(dirname "$0")"
src=../../data
im=$(command -v convert-im6.q16 || command -v convert)
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
heif-enc -q 80 "$src/rgb8.png" -o photo.heic
# EXIF (Make "Vistel", orientation 6) and a 32x24 thumbnail.
heif-enc -q 80 -t 32 "$src/exif.jpg" -o exif.heic
"$im" "$src/rgb8.png" -alpha set -channel A -fx "i/w" +channel PNG32:"$work/rgba8.png"
heif-enc -A -L "$work/rgba8.png" -o alpha.avif
