#!/usr/bin/env bash
# Renders the window icon PNG from its SVG source (ImageMagick's convert or rsvg-convert).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../resources"
if command -v rsvg-convert >/dev/null; then
    rsvg-convert -w 256 -h 256 window-icon.svg -o window-icon.png
else
    convert -background none -density 96 window-icon.svg -resize 256x256 PNG32:window-icon.png
fi
