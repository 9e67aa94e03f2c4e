#!/bin/bash
# contact-sheet.sh OUT.png COLUMNS "LABEL=FILE.png" ...
# Tiles frame PNGs into one sheet, every tile labelled; TILE=WxH sets the tile
# size (default 256x144). The sheet is stored with a 256-colour palette.
set -euo pipefail
if [ $# -lt 3 ]; then
    echo "usage: contact-sheet.sh OUT.png COLUMNS LABEL=FILE.png..." >&2
    exit 2
fi
out=$1
columns=$2
shift 2
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
tile=${TILE:-256x144}
tw=${tile%x*}
th=${tile#*x}
inputs=()
filters=""
layout=""
n=0
for item in "$@"; do
    label=${item%%=*}
    file=${item#*=}
    inputs+=(-i "$file")
    filters+="[$n:v]scale=$tw:$th,drawtext=fontfile=$font:text='$label':fontsize=13:fontcolor=white:box=1:boxcolor=black@0.65:boxborderw=3:x=4:y=4[v$n];"
    x=$(( (n % columns) * tw ))
    y=$(( (n / columns) * th ))
    layout+="${layout:+|}${x}_${y}"
    n=$((n + 1))
done
# Pad the last row with black tiles so the sheet stays rectangular.
while [ $((n % columns)) -ne 0 ]; do
    inputs+=(-f lavfi -i "color=black:s=${tw}x${th}:d=1")
    filters+="[$n:v]null[v$n];"
    x=$(( (n % columns) * tw ))
    y=$(( (n / columns) * th ))
    layout+="|${x}_${y}"
    n=$((n + 1))
done
stack=""
for ((i = 0; i < n; i++)); do stack+="[v$i]"; done
ffmpeg -loglevel error -y "${inputs[@]}" -filter_complex "${filters}${stack}xstack=inputs=$n:layout=$layout,split[a][b];[a]palettegen=max_colors=256[p];[b][p]paletteuse=dither=none[out]" \
    -map "[out]" -frames:v 1 "$out"
