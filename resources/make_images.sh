#!/bin/sh
# Makes the language-button bitmaps and the program icon with ImageMagick.
# The PNGs are checked in; run this only to redraw them (from the resources folder).
set -e
cd "$(dirname "$0")"

# Language buttons: a 64 x 20 plate label. Everything around the plate is the
# transparent colour red 236 green 233 blue 216 (#ECE9D8), which the button
# replaces by its face colour. The plate itself is drawn without antialiasing so
# that no blended halo pixels of the transparent colour remain at its border;
# the text inside is antialiased against the plate only.
CJK_FONT=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
LATIN_FONT=DejaVu-Sans-Bold

convert -size 64x20 xc:'#ECE9D8' \
  +antialias -fill '#C8102E' -stroke '#8E0B20' -strokewidth 1 \
  -draw 'roundrectangle 1,1 62,18 5,5' \
  -antialias -stroke none -fill white -font "$CJK_FONT" -pointsize 15 \
  -gravity center -annotate +0+0 '中文' \
  -alpha off -strip -depth 8 -define png:color-type=2 bitmap131.png

convert -size 64x20 xc:'#ECE9D8' \
  +antialias -fill '#1F4E9C' -stroke '#12306A' -strokewidth 1 \
  -draw 'roundrectangle 1,1 62,18 5,5' \
  -antialias -stroke none -fill white -font "$LATIN_FONT" -pointsize 11 \
  -gravity center -annotate +0+0 'English' \
  -alpha off -strip -depth 8 -define png:color-type=2 bitmap134.png

# Program icon: a dark chip with eight pins a side and a "V3" mark, on a
# transparent background.
convert -size 32x32 xc:none \
  -fill '#B8B8B8' \
  -draw 'rectangle 3,7 6,8'   -draw 'rectangle 3,11 6,12' -draw 'rectangle 3,15 6,16' \
  -draw 'rectangle 3,19 6,20' -draw 'rectangle 3,23 6,24' \
  -draw 'rectangle 25,7 28,8'   -draw 'rectangle 25,11 28,12' -draw 'rectangle 25,15 28,16' \
  -draw 'rectangle 25,19 28,20' -draw 'rectangle 25,23 28,24' \
  -fill '#262A33' -stroke '#0E1014' -strokewidth 1 \
  -draw 'roundrectangle 6,3 25,28 2,2' \
  -stroke none -fill '#5A5F6B' -draw 'circle 10,7 11,7' \
  -fill '#FFC21A' -font DejaVu-Sans-Bold -pointsize 10 \
  -gravity center -annotate +0+4 'V3' \
  -fill '#3FD06A' -stroke none \
  -draw 'polygon 13,8 19,8 19,6 22,9 19,12 19,10 13,10' \
  -strip -depth 8 -define png:color-type=6 icon128.png
