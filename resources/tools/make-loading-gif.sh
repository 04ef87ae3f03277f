#!/usr/bin/env bash
# Makes image/loading.gif from svg/loading.svg: twelve frames, each turning the ring of dots
# by another 30 degrees, rendered with kelvora_svgrender and put together with ImageMagick.
# Frames are flattened onto white (the lists behind the spinner are white) and white is then
# made transparent, so the edges stay smooth on the white page.
#   usage: resources/tools/make-loading-gif.sh <path to kelvora_svgrender>
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
render=${1:?path to kelvora_svgrender}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
frames=()
for i in $(seq 0 11); do
    angle=$((i * 30))
    "$render" "$here/svg/loading.svg" "$work/f$i.png" "rotate(0=>rotate($angle"
    frames+=("$work/f$i.png")
done
convert -delay 8 -loop 0 -dispose previous "${frames[@]}" \
    -background white -alpha remove -alpha off -transparent white "$here/image/loading.gif"
identify "$here/image/loading.gif" | head -3
echo "frames: $(identify "$here/image/loading.gif" | wc -l)"
