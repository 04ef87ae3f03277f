#!/usr/bin/env bash
# Puts every rendered picture on the background it is shown on (blue bar, green button,
# dark viewer, #f2f5f7 columns, white pages) into one contact sheet. Small pictures are shown
# at their real size and magnified four times.
#   usage: resources/tools/contact-sheet.sh <build dir> <out.png>
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
rendered=${1:?build dir}/resources/rendered
out=${2:?output png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
n=0
tile() { # name background
    local name=$1 bg=$2 src="$rendered/$1"
    local w h
    read -r w h < <(identify -format '%w %h\n' "$src")
    local pad=12 tw th
    if [ "$w" -le 32 ] && [ "$h" -le 32 ]; then
        tw=$((w + w * 4 + 3 * pad)); th=$((h * 4 + 2 * pad))
        convert -size ${tw}x${th} "$bg" \
            "$src" -geometry +$pad+$(((th - h) / 2)) -composite \
            \( "$src" -filter point -resize 400% \) -geometry +$((2 * pad + w))+$pad -composite \
            "$work/$(printf %03d $n).png"
    else
        tw=$((w + 2 * pad)); th=$((h + 2 * pad))
        convert -size ${tw}x${th} "$bg" "$src" -geometry +$pad+$pad -composite \
            "$work/$(printf %03d $n).png"
    fi
    echo "${name#image/}" > "$work/$(printf %03d $n).txt"
    n=$((n + 1))
}
blue='gradient:#5e8df4-#4374e3'
while read -r name; do
    case $name in
        image/nav/*|image/logo.png) tile "$name" "$blue" ;;
        image/msgbox_error.png|image/msgbox_done.png|image/msgbox_logo.png|image/msgbox_close.png) tile "$name" 'xc:#5581e5' ;;
        image/upload.png) tile "$name" 'xc:#2aca41' ;;
        image/image_*|image/file/play.png) tile "$name" 'xc:#5a5a5a' ;;
        image/left_button/*|image/dlg_logo.png|image/login_close.png) tile "$name" 'xc:#f2f5f7' ;;
        *) tile "$name" 'xc:#ffffff' ;;
    esac
done < <(grep -E '^image/' "$here/images.txt" | awk '{print $1}')
args=()
for f in "$work"/*.png; do args+=(-label "$(cat "${f%.png}.txt")" "$f"); done
montage "${args[@]}" -tile 8x -geometry '230x196>+4+4' -background '#d8dce2' -pointsize 12 "$work/sheet.png"
# The spinner (last row): every frame of loading.gif, cropped round the ring, on white.
convert "$here/image/loading.gif" -coalesce -crop 70x70+140+75 +repage -background white -alpha remove "$work/spin-%02d.png" 2>/dev/null ||
    convert "$here/image/loading.gif" -coalesce -crop 70x70+140+75 +repage "$work/spin-%02d.png"
montage "$work"/spin-*.png -tile x1 -geometry +4+4 -background '#d8dce2' "$work/spin.png"
convert "$work/sheet.png" "$work/spin.png" -background '#d8dce2' -gravity west -append +repage -depth 8 "$out"
echo "$out"
