#!/bin/sh
# Draws app/background.png: a quiet dark backdrop for the window (586 x 784, 24 bits per
# pixel): a vertical gradient close to the window's grey, faint horizontal rules, and faint
# radio-wave arcs around the lower right corner, away from the controls' captions.
# Needs ImageMagick (Debian package imagemagick). Run from the repository's root.
set -eu
out=${1:-app/background.png}
rules=$(i=30; while [ $i -lt 784 ]; do printf 'M 0,%d L 586,%d ' $i $i; i=$((i+30)); done)
arcs=""
for r in 110 170 230 290; do
    arcs="$arcs -draw \"arc $((586 - r)),$((784 - r)) $((586 + r)),$((784 + r)) 180,270\""
done
eval /usr/bin/convert -size 586x784 "'gradient:rgb(74,78,84)-rgb(40,42,46)'" \
    -fill none -stroke "'rgba(255,255,255,0.035)'" -strokewidth 1 -draw "\"path '$rules'\"" \
    -stroke "'rgba(160,200,255,0.10)'" -strokewidth 2 $arcs \
    -depth 8 -type TrueColor -define png:color-type=2 "'$out'"
