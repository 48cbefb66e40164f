#!/usr/bin/env bash
# Draws the icon's PNG sizes that a desktop uses from data/icons/velomat.svg into data/icons/hicolor/.
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" velomat.svg -o "hicolor/${size}x${size}/apps/velomat.png"
done
echo "icons: data/icons/hicolor/*/apps/velomat.png"
