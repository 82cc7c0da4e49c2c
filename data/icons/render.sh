#!/usr/bin/env bash
# Renders the PNG sizes of the icons from their SVG sources (run after editing an SVG; the
# PNGs are committed so that the build needs no SVG renderer).
set -euo pipefail
cd "$(dirname "$0")"
CONVERT=/usr/bin/convert
[ -x "$CONVERT" ] || CONVERT=convert
for name in tlvcli tlvcli-inactive; do
    for size in 16 22 32 48 64 128 256; do
        mkdir -p "${size}x${size}"
        # Render at four times the size, then scale down: cleaner edges at the small sizes.
        "$CONVERT" -background none -density $((96 * size / 256 * 4 + 10)) "$name.svg" \
            -resize "${size}x${size}" -depth 8 -strip "png:${size}x${size}/$name.png"
    done
done
