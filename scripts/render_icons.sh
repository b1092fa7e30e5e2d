#!/usr/bin/env bash
# Renders the program's icon packaging/icons/hicolor/scalable/apps/varnek-test.svg into the PNG sizes
# of the hicolor theme. The PNGs are kept in the repository, so only whoever
# changes the drawing needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/.."
command -v rsvg-convert >/dev/null || { echo "rsvg-convert is missing: apt-get install librsvg2-bin" >&2; exit 1; }
for size in 16 22 24 32 48 64 128 256; do
  dir=packaging/icons/hicolor/${size}x${size}/apps
  mkdir -p "$dir"
  rsvg-convert -w "$size" -h "$size" packaging/icons/hicolor/scalable/apps/varnek-test.svg -o "$dir/varnek-test.png"
done
