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
# The Windows program's icon (its resources, the installer, the Start menu
# entry): the same pictures in one .ico, made with ImageMagick.
if command -v convert >/dev/null; then
  convert packaging/icons/hicolor/{16x16,24x24,32x32,48x48,64x64,128x128,256x256}/apps/varnek-test.png \
    packaging/windows/varnek-test.ico
else
  echo "convert is missing (apt-get install imagemagick): packaging/windows/varnek-test.ico not renewed" >&2
fi
