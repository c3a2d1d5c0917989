#!/usr/bin/env bash
# Renders the hand-drawn SVG pictures under resources/ into the PNG and JPEG files that
# resources.qrc compiles in. The results are kept in the repository beside their sources, so the
# build itself needs no renderer: run this after changing an SVG and commit what it writes.
# Needs rsvg-convert (librsvg2-bin) and ImageMagick's convert.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
icons=$root/resources/icons
pictures=$root/resources/pictures

for tool in rsvg-convert convert; do
  command -v "$tool" >/dev/null || { echo "render-pictures: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# png <svg> <out.png> <size>: one square rendering, drawn from the vectors at that size.
png() {
  rsvg-convert --width "$3" --height "$3" --format png --output "$2" "$1"
}

# icon <name> <size>: name.png at the size and name@2x.png at twice it, which QIcon picks up by itself.
icon() {
  png "$icons/$1.svg" "$icons/$1.png" "$2"
  png "$icons/$1.svg" "$icons/$1@2x.png" $(($2 * 2))
}

# The disabled look of a button picture: the same drawing through a filter that turns every colour
# into a light grey of its brightness (dark outlines end mid grey), so both states stay in line.
greyed() {
  local svg=$work/$1_disabled.svg
  sed 's|<g id="art">|<defs><filter id="greyed" color-interpolation-filters="sRGB"><feColorMatrix type="matrix" values="0.0957 0.3218 0.0325 0 0.5  0.0957 0.3218 0.0325 0 0.5  0.0957 0.3218 0.0325 0 0.5  0 0 0 1 0"/></filter></defs><g id="art" filter="url(#greyed)">|' \
    "$icons/$1.svg" >"$svg"
  grep -q 'filter="url(#greyed)"' "$svg" || { echo "render-pictures: $1.svg has no <g id=\"art\">" >&2; exit 1; }
  png "$svg" "$icons/$1_disabled.png" "$2"
  png "$svg" "$icons/$1_disabled@2x.png" $(($2 * 2))
}

# jpeg <name> <width> <height>: a baseline JPEG on white at 1x and at 2x. Full-resolution colour
# (4:4:4), because halved chroma smears the thin coloured lines of such small pictures.
jpeg() {
  local scale
  for scale in 1 2; do
    local out=$pictures/$1.jpg
    [ "$scale" = 2 ] && out=$pictures/$1@2x.jpg
    rsvg-convert --width $(($2 * scale)) --height $(($3 * scale)) --background-color white \
      --format png --output "$work/$1.png" "$pictures/$1.svg"
    convert "$work/$1.png" -background white -alpha remove -alpha off -strip \
      -sampling-factor 4:4:4 -interlace none -quality 90 "$out"
  done
}

# window icon: 32 and 64 for the title bar, 256 for task switchers
icon k3316-utility 32
mv "$icons/k3316-utility.png" "$icons/app.png"
mv "$icons/k3316-utility@2x.png" "$icons/app@2x.png"
png "$icons/k3316-utility.svg" "$icons/app256.png" 256

for name in tb_connect tb_disconnect tb_settings tb_exit tb_about; do
  icon "$name" 36
done

for name in btn_setting btn_defaults btn_auto btn_stop btn_send btn_eraser; do
  icon "$name" 16
  greyed "$name" 16
done

jpeg module 34 55
jpeg logo 118 88

echo "render-pictures: done"
