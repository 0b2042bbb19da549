#!/usr/bin/env bash
# Renders the PNG icons from kelm-graphics.svg after the drawing changed; the
# PNGs are committed, so building needs nothing of this (rsvg-convert comes
# with the Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" kelm-graphics.svg -o "icons/kelm-graphics-$size.png"
done
