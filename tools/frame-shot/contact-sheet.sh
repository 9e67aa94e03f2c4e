#!/bin/bash
# contact-sheet.sh OUT.png COLUMNS "LABEL=FILE.png" ...
# Tiles frame PNGs into one sheet, 320 x 180 each, every tile labelled.
set -euo pipefail
if [ $# -lt 3 ]; then
    echo "usage: contact-sheet.sh OUT.png COLUMNS LABEL=FILE.png..." >&2
    exit 2
fi
out=$1
columns=$2
shift 2
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
inputs=()
filters=""
layout=""
n=0
for item in "$@"; do
    label=${item%%=*}
    file=${item#*=}
    inputs+=(-i "$file")
    filters+="[$n:v]scale=320:180,drawtext=fontfile=$font:text='$label':fontsize=15:fontcolor=white:box=1:boxcolor=black@0.65:boxborderw=3:x=4:y=4[v$n];"
    x=$(( (n % columns) * 320 ))
    y=$(( (n / columns) * 180 ))
    layout+="${layout:+|}${x}_${y}"
    n=$((n + 1))
done
# Pad the last row with black tiles so the sheet stays rectangular.
while [ $((n % columns)) -ne 0 ]; do
    inputs+=(-f lavfi -i "color=black:s=320x180:d=1")
    filters+="[$n:v]null[v$n];"
    x=$(( (n % columns) * 320 ))
    y=$(( (n / columns) * 180 ))
    layout+="|${x}_${y}"
    n=$((n + 1))
done
stack=""
for ((i = 0; i < n; i++)); do stack+="[v$i]"; done
ffmpeg -loglevel error -y "${inputs[@]}" -filter_complex "${filters}${stack}xstack=inputs=$n:layout=$layout[out]" \
    -map "[out]" -frames:v 1 "$out"
