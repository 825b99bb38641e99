#!/usr/bin/env bash
# Renders the PNG icons from peakfold.svg. The PNGs are kept in the
# repository, so building and installing need no SVG renderer; run this
# after changing the SVG (needs rsvg-convert: apt-get install librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 48 256; do
  rsvg-convert -w "$size" -h "$size" peakfold.svg -o "peakfold-$size.png"
done
