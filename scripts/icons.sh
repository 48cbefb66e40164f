#!/usr/bin/env bash
# Draws the icon's PNG sizes that a desktop uses from data/icons/velomat.svg into data/icons/hicolor/,
# and the Windows programs' icon file data/icons/velomat.ico from them.
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" velomat.svg -o "hicolor/${size}x${size}/apps/velomat.png"
done
convert hicolor/{16x16,24x24,32x32,48x48,64x64,128x128,256x256}/apps/velomat.png velomat.ico
echo "icons: data/icons/hicolor/*/apps/velomat.png, data/icons/velomat.ico"
