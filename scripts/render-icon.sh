#!/usr/bin/env bash
# Renders the program's icon from its SVG into the PNG sizes desktops look for.
# Run it after changing packaging/icons/hicolor/scalable/apps/album.svg, and commit the PNGs.
# Needs rsvg-convert (librsvg2-bin) or, failing that, ImageMagick's convert.
set -euo pipefail
cd "$(dirname "$0")/.."

icons=packaging/icons/hicolor
svg=$icons/scalable/apps/album.svg

for size in 16 22 24 32 48 64 128 256; do
    out=$icons/${size}x${size}/apps/album.png
    mkdir -p "$(dirname "$out")"
    if command -v rsvg-convert >/dev/null; then
        rsvg-convert --width "$size" --height "$size" --output "$out" "$svg"
    else
        convert -background none -density 384 "$svg" -resize "${size}x${size}" -strip "$out"
    fi
    echo "$out"
done
