#!/usr/bin/env bash
# Renders the program's icon, resources/quillet.svg, into the PNGs that the program carries in
# its resources (so it needs no SVG support at run time) and that are installed beside the SVG.
# Run it after changing the SVG; it needs rsvg-convert (Debian: librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../resources"
for size in 32 64 128; do
  rsvg-convert -w "$size" -h "$size" quillet.svg -o "quillet-$size.png"
done
