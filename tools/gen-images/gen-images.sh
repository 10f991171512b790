#!/usr/bin/env bash
# Draws the popup's own pictures into res/images/. The outputs are committed; run this again only to
# change them. Needs ImageMagick's convert.
set -euo pipefail
out=$(cd "$(dirname "$0")/../.." && pwd)/res/images
mkdir -p "$out"
# -strip and a fixed date keep the files byte-identical from run to run.
common=(-strip -define png:exclude-chunks=date,time)

# Skin: white, 1-px grey frame following the window's rounded corners (radius 6). Not antialiased:
# the window's shape is a plain region, so a soft edge would only show as a fringe.
convert -size 515x580 xc:none +antialias -fill white -stroke '#a0a0a0' -strokewidth 1 \
    -draw 'roundrectangle 0,0 514,579 6,6' "${common[@]}" "PNG32:$out/skin-133.png"

# Logo: an orange tile with a white price tag.
convert -size 48x48 xc:none \
    -fill '#e8602c' -stroke none -draw 'roundrectangle 0,0 47,47 9,9' \
    -fill white -draw 'polygon 12,24 24,12 37,12 37,25 25,37' \
    -fill '#e8602c' -draw 'circle 31,18 31,21' \
    "${common[@]}" "PNG32:$out/logo-134.png"

# Default item picture: a light grey card with a stylised landscape.
convert -size 128x128 xc:'#f2f2f2' \
    -fill none -stroke '#c8c8c8' -strokewidth 2 -draw 'rectangle 1,1 126,126' \
    -stroke none -fill '#d0d0d0' -draw 'circle 44,44 44,58' \
    -fill '#b8b8b8' -draw 'polygon 14,110 52,62 76,90 92,74 116,110' \
    "${common[@]}" "PNG32:$out/pelmo128.png"
