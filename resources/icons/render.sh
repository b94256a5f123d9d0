#!/bin/sh
# Renders the icon PNGs from their SVG sources. A size with its own
# <name>-<size>.svg (drawn on the pixel grid) uses that; the others are
# rendered from <name>.svg. Needs rsvg-convert (librsvg2-bin).
set -eu
cd "$(dirname "$0")"
for name in quillpost nomail gotmail checking; do
    for size in 16 22 32 48; do
        source="$name.svg"
        [ -f "$name-$size.svg" ] && source="$name-$size.svg"
        rsvg-convert --width "$size" --height "$size" --output "$name-$size.png" "$source"
    done
done
