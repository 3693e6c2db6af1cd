#!/bin/sh
# Draws the setup program's pictures and window icon with ImageMagick 6 (convert) and the IPA P Gothic font
# (Debian: imagemagick, fonts-ipafont-gothic). The results are committed; run this only to change them.
#   menu_emblem.bmp  111 x 104, 24-bit BMP: ledger and report sheet, the menu's illustration
#   menu_logo.bmp    247 x 60,  24-bit BMP: the product name as a logo
#   setup.ico        16 x 16 and 32 x 32, 16 colours each, transparent background
set -eu
cd "$(dirname "$0")"

font=$(fc-list ':family=IPAPGothic' file | head -n 1 | sed 's/: *$//')
[ -n "$font" ] || { echo "IPAPGothic not found (fonts-ipafont-gothic)" >&2; exit 1; }

navy='#1f3c88'
navy_dark='#142a63'
gold='#d4a62a'
gold_dark='#b8891a'
line_blue='#3b5b9a'
pale_blue='#c9d5ea'
rule_blue='#9fb3d6'

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The pictures are drawn at four times their size and scaled down, for smooth edges on the white panel.
# "BMP3:" writes the classic BITMAPINFOHEADER that LoadImage reads; a 256-colour palette, uncompressed, keeps
# them small inside setup.exe, and flatten/alpha off leave no alpha channel behind.

# Emblem: a report sheet with a folded corner behind a ledger with a gold spine, a label and a rising bar chart.
convert -size 444x416 xc:white \
  -fill '#e6e9ef' -stroke none -draw "roundrectangle 150,44 392,352 10,10" \
  -fill white -stroke "$line_blue" -strokewidth 6 -draw "path 'M 140,30 L 330,30 L 380,80 L 380,340 L 140,340 Z'" \
  -fill "$pale_blue" -draw "path 'M 330,30 L 330,80 L 380,80 Z'" \
  -stroke "$rule_blue" -draw "line 200,110 350,110" -draw "line 200,150 350,150" \
  -draw "line 200,190 350,190" -draw "line 200,230 350,230" \
  -fill "$navy" -stroke "$navy_dark" -strokewidth 4 -draw "roundrectangle 56,80 286,384 14,14" \
  -fill "$gold" -stroke none -draw "rectangle 56,80 100,384" -draw "roundrectangle 56,80 80,384 12,12" \
  -fill "$gold_dark" -draw "rectangle 96,80 104,384" \
  -fill '#f4f1e6' -stroke "$gold" -strokewidth 4 -draw "rectangle 136,126 256,186" \
  -stroke "$navy" -strokewidth 5 -draw "line 152,146 240,146" -draw "line 152,166 220,166" \
  -stroke none -fill "$gold" -draw "rectangle 140,320 164,350" -draw "rectangle 176,296 200,350" \
  -draw "rectangle 212,262 236,350" -draw "rectangle 248,226 272,350" \
  -fill '#6f8fd0' -draw "rectangle 130,354 272,360" \
  -resize '111x104!' -background white -flatten -alpha off -depth 8 -colors 256 -type Palette -compress None BMP3:menu_emblem.bmp

# Logo: the short product name in bold Gothic (IPA P Gothic has no bold face, so the glyphs get an outline
# of their own colour), a gold diamond before it and a two-colour rule under it.
convert -size 988x240 xc:white \
  -fill "$gold" -stroke none -draw "polygon 48,62 92,106 48,150 4,106" \
  -fill "$navy" -draw "polygon 48,84 70,106 48,128 26,106" \
  -font "$font" -pointsize 188 -fill "$navy" -stroke "$navy" -strokewidth 8 -gravity west -annotate +118-10 'ホルンデ' \
  -stroke none -gravity northwest -fill "$gold" -draw "rectangle 120,210 960,220" \
  -fill "$navy" -draw "rectangle 120,210 330,220" \
  -resize '247x60!' -background white -flatten -alpha off -depth 8 -colors 256 -type Palette -compress None BMP3:menu_logo.bmp

# Icon: the emblem's ledger and sheet, drawn pixel by pixel at each size (no anti-aliasing, so it stays within
# 16 colours and reads at 16 x 16). The ICO writer stores a palette image of at most 16 colours at 4 bits per
# pixel and turns the transparent background into the AND mask.
convert -size 32x32 xc:none +antialias \
  -fill white -stroke "$navy" -draw "path 'M 12,2 L 23,2 L 28,7 L 28,26 L 12,26 Z'" \
  -stroke none -fill "$pale_blue" -draw "polygon 23,3 23,7 27,7" \
  -stroke '#6f8fd0' -draw "line 22,11 26,11" -draw "line 22,14 26,14" -draw "line 22,17 26,17" -draw "line 22,20 26,20" \
  -stroke '#0f1f4f' -fill "$navy" -draw "rectangle 4,7 20,29" \
  -stroke none -fill "$gold" -draw "rectangle 5,8 7,28" \
  -fill white -draw "rectangle 10,11 17,14" \
  -fill "$gold" -draw "rectangle 10,24 11,26" -draw "rectangle 13,22 14,26" -draw "rectangle 16,19 17,26" \
  "$tmp/icon32.png"
convert -size 16x16 xc:none +antialias \
  -fill white -stroke "$navy" -draw "rectangle 7,1 14,12" \
  -stroke '#6f8fd0' -draw "line 11,4 13,4" -draw "line 11,6 13,6" -draw "line 11,8 13,8" \
  -stroke '#0f1f4f' -fill "$navy" -draw "rectangle 1,4 10,14" \
  -stroke none -fill "$gold" -draw "rectangle 2,5 3,13" \
  -fill white -draw "rectangle 5,6 8,7" \
  -fill "$gold" -draw "point 5,12" -draw "rectangle 7,11 7,12" -draw "rectangle 9,10 9,12" \
  "$tmp/icon16.png"
convert "$tmp/icon16.png" "$tmp/icon32.png" -colors 16 setup.ico

identify menu_emblem.bmp menu_logo.bmp setup.ico
