#!/usr/bin/env bash
# Draws the popup's own pictures into res/images/ and the desktop icons into desktop/icons/. The outputs
# are committed; run this again only to change them. Needs ImageMagick's convert.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/res/images
icons=$root/desktop/icons
mkdir -p "$out"
# -strip and a fixed date keep the files byte-identical from run to run.
common=(-strip -define png:exclude-chunks=date,time)

# Skin: white, 1-px grey frame following the window's rounded corners (radius 6). Not antialiased:
# the window's shape is a plain region, so a soft edge would only show as a fringe.
convert -size 515x580 xc:none +antialias -fill white -stroke '#a0a0a0' -strokewidth 1 \
    -draw 'roundrectangle 0,0 514,579 6,6' "${common[@]}" "PNG32:$out/skin-133.png"

# Logo: an orange tile with a white price tag. Designed on a 48-px grid and drawn at each size through
# an affine map of that grid, so a large icon is sharp rather than an enlarged small one.
logo() {  # size, output file
    local scale
    scale=$(awk -v n="$1" 'BEGIN { print (n - 1) / 47 }')
    convert -size "$1x$1" xc:none -affine "$scale,0,0,$scale,0,0" \
        -fill '#e8602c' -stroke none -draw 'roundrectangle 0,0 47,47 9,9' \
        -fill white -draw 'polygon 12,24 24,12 37,12 37,25 25,37' \
        -fill '#e8602c' -draw 'circle 31,18 31,21' \
        "${common[@]}" "PNG32:$2"
}
logo 48 "$out/logo-134.png"
# The desktop's application icons.
for size in 48 128; do
    mkdir -p "$icons/${size}x${size}"
    logo "$size" "$icons/${size}x${size}/deals-notifier.png"
done

# Default item picture: a light grey card with a stylised landscape.
convert -size 128x128 xc:'#f2f2f2' \
    -fill none -stroke '#c8c8c8' -strokewidth 2 -draw 'rectangle 1,1 126,126' \
    -stroke none -fill '#d0d0d0' -draw 'circle 44,44 44,58' \
    -fill '#b8b8b8' -draw 'polygon 14,110 52,62 76,90 92,74 116,110' \
    "${common[@]}" "PNG32:$out/pelmo128.png"
