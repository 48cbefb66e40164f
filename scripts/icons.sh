#!/usr/bin/env bash
# Draws the icon's PNG sizes that a desktop uses from data/icons/velomat.svg into data/icons/hicolor/,
# and the Windows icon data/icons/velomat.ico (the programs' .exe files carry it) from those PNGs.
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" velomat.svg -o "hicolor/${size}x${size}/apps/velomat.png"
done
sizes=(16 24 32 48 64 256)
convert $(for size in "${sizes[@]}"; do echo "hicolor/${size}x${size}/apps/velomat.png"; done) velomat.ico
echo "icons: data/icons/hicolor/*/apps/velomat.png, data/icons/velomat.ico"
