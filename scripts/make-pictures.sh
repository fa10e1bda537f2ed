#!/bin/sh
# Remakes the README's pictures: a screenshot of the window and sample patterns.
# Needs a build (make build) and Xvfb, xdotool and ImageMagick (apt-get install xvfb xdotool imagemagick).
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

xvfb-run -a -s "-screen 0 640x480x24" sh -c "
    '$top/build/src/app/quvelta' & app=\$!
    sleep 3
    import -window root -crop 456x442+0+0 +repage '$out/window.png'
    kill \$app"

# Keep the pictures small.
for f in "$out"/*.png; do
    convert "$f" -strip -colors 64 "$f"
done
ls -l "$out"
