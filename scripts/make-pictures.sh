#!/bin/sh
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The Quvelta developers
# Remakes the README's pictures: a screenshot of the window and sample patterns.
# Needs a build (make build) and Xvfb, xdotool and ImageMagick (apt-get install xvfb xdotool imagemagick),
# and KiCad's pcbnew module with librsvg2-bin for the footprint (scripts/install-deps.sh).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
render="$top/build/src/cli/quvelta-render"
out="$top/docs"
mkdir -p "$out"

"$render" --dpi 150 -o "$out/strip.png"
"$render" --shape disc --bits 6 --outer-radius 30 --inner-radius 6 --dpi 150 -o "$out/gray-disc.png"
"$render" --shape disc --type relative --pairs 64 --outer-radius 30 --inner-radius 18 --dpi 150 \
    --foreground '#1d3557' -o "$out/relative-disc.png"
"$render" --shape disc --type relative --pairs 32 --quadrature --index --sensor-marks \
    --outer-radius 30 --inner-radius 10 --dpi 150 -o "$out/quadrature-disc.png"
"$render" --shape disc --positions 360 --outer-radius 30 --inner-radius 8 --dpi 150 \
    -o "$out/gray-360.png"
"$render" --shape disc --code single-track --sensor-marks --outer-radius 30 --inner-radius 20 \
    --dpi 150 -o "$out/single-track.png"
"$render" --calibration --shape disc --bits 6 --outer-radius 30 --inner-radius 6 --dpi 150 \
    -o "$out/calibrated.png"
"$render" --calibration-target --dpi 72 -o "$out/calibration-target.png"

# A sensor mask beside the disc it goes with.
"$render" --shape disc --bits 4 --outer-radius 30 --inner-radius 8 --dpi 150 -o "$out/mask-disc.png"
"$render" --shape disc --bits 4 --outer-radius 30 --inner-radius 8 --dpi 150 --mask \
    -o "$out/mask.png"
convert "$out/mask-disc.png" "$out/mask.png" -bordercolor white -border 10 +append "$out/mask.png"
rm "$out/mask-disc.png"

# A footprint as KiCad plots it (needs KiCad's pcbnew module and librsvg2-bin).
scratch=$(mktemp -d)
mkdir "$scratch/quvelta.pretty" "$scratch/home"
"$render" --shape disc --bits 6 --outer-radius 20 --inner-radius 6 --bore 4 --d-flat 0.5 \
    --holes 3,2.2,9 --no-center-mark --pcb-layer F.Cu,F.Mask \
    -o "$scratch/quvelta.pretty/gray6.kicad_mod"
HOME="$scratch/home" /usr/bin/python3 "$top/scripts/footprint-picture.py" \
    "$scratch/quvelta.pretty" gray6 "$scratch/footprint.svg" 2>/dev/null
rsvg-convert -w 2400 -b white "$scratch/footprint.svg" |
    convert - -trim +repage -bordercolor white -border 20 "$out/footprint.png"
rm -r "$scratch"

# The window with its third page open, at 1x and at twice the pixel density.
shot() {
    xvfb-run -a -s "-screen 0 1200x1000x24" sh -c "
        QT_SCALE_FACTOR=$1 '$top/build/src/app/quvelta' & app=\$!
        sleep 3
        xdotool mousemove $2 click 1
        sleep 1
        import -window root -crop $3 +repage '$out/$4'
        kill \$app"
}
shot 1 "170 103" 456x442+0+0 window.png
shot 2 "340 206" 912x884+0+0 window-2x.png

# Keep the pictures small.
for f in "$out"/*.png; do
    convert "$f" -strip -colors 64 "$f"
done
ls -l "$out"
