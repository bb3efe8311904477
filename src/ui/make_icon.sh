#!/usr/bin/env bash
# Draws icon 100, zarvel.ico: a SID chip with a waveform across it, as a
# 16 x 16 and a 32 x 32 image of 256 colours. The anti-aliased wave and the
# shaded body give each size more than 16 colours, so ImageMagick keeps 8 bits
# per pixel for both instead of dropping the small one to a 16-colour image.
#   src/ui/make_icon.sh   (rewrites src/ui/zarvel.ico)
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# chip size: canvas, body box, pin length and pitch, wave points
draw_chip() {
    local size=$1 body=$2 pins=$3 wave=$4 out=$5
    convert -size "${size}x${size}" xc:none \
        -fill '#b8b8c0' -stroke none -draw "$pins" \
        \( -size "${size}x${size}" gradient:'#50505c'-'#18181e' \
           \( -size "${size}x${size}" xc:black -fill white -draw "$body" \) \
           -alpha off -compose CopyOpacity -composite \) \
        -compose Over -composite \
        -fill none -stroke '#40e0a0' -strokewidth "$(( size / 16 ))" -draw "$wave" \
        -colors 256 -type PaletteAlpha "$out"
}

# 32 x 32: body 8..23 wide, 3..28 high, four pins a side, a notch on top.
pins32=""
for y in 6 12 18 24; do pins32+="rectangle 3,$y 8,$((y + 2)) rectangle 23,$y 28,$((y + 2)) "; done
draw_chip 32 "roundrectangle 7,2 24,29 2,2" "$pins32" \
    "polyline 8,16 10,10 12,8 14,10 16,16 18,22 20,24 22,22 24,16" "$work/32.png"
convert "$work/32.png" -fill '#18181e' -draw "circle 16,5 16,6" "$work/32.png"

# 16 x 16: body 4..11 wide, two pins a side.
pins16=""
for y in 4 10; do pins16+="rectangle 1,$y 4,$((y + 1)) rectangle 11,$y 14,$((y + 1)) "; done
draw_chip 16 "roundrectangle 3,1 12,14 1,1" "$pins16" \
    "polyline 3,8 5,4 7,4 8,8 9,12 11,12 12,8" "$work/16.png"

convert "$work/16.png" "$work/32.png" -colors 256 zarvel.ico
file zarvel.ico
