#!/usr/bin/env bash
# The farm benchmark, all passes back to back on this machine:
#  1. the capture's GL through EGL against Xvfb: start-up (process start to
#     the first frame, and the GL set-up alone) and median frame time, 2 s
#     of show at 1280x720 rendered only, 6 times each, alternating;
#  2. the range at 1280x720, 60 frames a second, to H.264 with its music by
#     one capture process, then by the farm with 2 local workers
#     (quorlaxen-farm run --jobs 2, 8 chunks), then the farm's join alone,
#     each in wall and processor seconds;
#  3. the fixed cost of a chunk: a chunk of one frame;
#  4. a short range at 3840x2160 to H.264 and rendered only (a worker's
#     speed at that size, for projections).
# Writes OUT/farm-bench.txt.
#
#   bench/farm-bench.sh [BUILD_DIR]   (default: build)
#   FARM_FROM/FARM_TO   the range of step 2 (default the whole show)
#   FARM_STEPS=1234     which of the steps to run (default all)
#   FARM_OUT=DIR        (default docs/bench)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
capture=$build/show/quorlaxen-capture
farm=$build/show/quorlaxen-farm
from=${FARM_FROM:-0}
show_end=$("$root/scripts/show-fact.sh" show_end_time)
to=${FARM_TO:-$show_end}
out=${FARM_OUT:-$root/docs/bench}
steps=${FARM_STEPS:-1234}
[ -x "$capture" ] && [ -x "$farm" ] || { echo "farm-bench: build the show folder first" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "farm-bench: needs /usr/bin/time (the time package)" >&2; exit 1; }
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
report=$work/report.txt
say() { echo "$*" | tee -a "$report" >&2; }
value() { sed -n "s/^$1=//p" "$2"; }
median_ms() { tail -n +2 "$1" | cut -d, -f"${2:-4}" | sort -g | awk '{ v[NR] = $1 } END { printf "%.1f", v[int((NR + 1) / 2)] }'; }

say "Farm benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
say "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores"
say "Load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
say ""

if [[ $steps == *1* ]]; then
  say "1. GL through EGL (no X server) against Xvfb: 1280x720, show time 60-62 s rendered only, 6 runs each,"
  say "   alternating; medians of the runs"
  for rep in 1 2 3 4 5 6; do
    for gl in egl xvfb; do
      "$capture" --gl "$gl" --quiet --size 1280x720 --from 60 --to 62 --stats "$work/$gl-$rep.csv" >"$work/$gl-$rep.txt"
      echo "$(value load_s "$work/$gl-$rep.txt") $(value load_cpu_s "$work/$gl-$rep.txt") $(value "${gl}_s" "$work/$gl-$rep.txt")" \
        "$(median_ms "$work/$gl-$rep.csv" 4) $(median_ms "$work/$gl-$rep.csv" 5)" >>"$work/$gl.txt"
    done
  done
  for gl in egl xvfb; do
    awk -v gl="$gl" '{ for (i = 1; i <= 5; i++) v[i, NR] = $i }
      function median(i,   n, j, k, t, a) { for (j = 1; j <= NR; j++) a[j] = v[i, j]
        for (j = 1; j <= NR; j++) for (k = j + 1; k <= NR; k++) if (a[k] < a[j]) { t = a[j]; a[j] = a[k]; a[k] = t }
        return (a[int((NR + 1) / 2)] + a[int(NR / 2) + 1]) / 2 }
      END { printf "   %-4s start-up %.3f s to the first frame (%.3f s processor), GL set-up %.3f s; frame p50 %.1f ms (%.1f ms processor)\n",
        gl, median(1), median(2), median(3), median(4), median(5) }' "$work/$gl.txt" | tee -a "$report" >&2
  done
  say "   load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
  say ""
fi

if [[ $steps == *2* ]]; then
frames=$(awk -v a="$from" -v b="$to" -v end="$show_end" 'BEGIN { n = int(b * 60 + 1e-6) - int(a * 60 + 0.5); if (b == end) n++; print n }')
# Wall and processor seconds (the command's and its children's) of a command.
timed() { # LABEL COMMAND...
  local label=$1
  shift
  /usr/bin/time -f '%e %U %S' -o "$work/time.txt" "$@" >/dev/null 2>>"$work/stderr.txt"
  read -r wall user sys <"$work/time.txt"
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.1f", u + s }')
  say "   $label: $wall s wall ($(awk -v f="$frames" -v s="$wall" 'BEGIN { printf "%.1f", f / s }') frames/s), $cpu s processor; load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
}
say "2. Show time $from-$to s ($frames frames) at 1280x720, 60 frames a second, to H.264 with music"
say "   load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
timed "one capture process" "$capture" --quiet --from "$from" --to "$to" -o "$work/one.mp4"
"$farm" plan --chunks 8 --from "$from" --to "$to" -o "$work/farm.mp4" "$work/plan" >/dev/null
timed "farm, 2 local workers, 8 chunks, join included" "$farm" run --jobs 2 "$work/plan"
awk -F'\t' 'NR > 1 { printf "     chunk: %.1f s\n", $4 }' "$work/plan/logs/joblog" | tee -a "$report" >&2
timed "the join alone (concat without re-encoding, music encoded once)" "$farm" join "$work/plan"
say ""
fi

if [[ $steps == *3* ]]; then
say "3. Fixed cost of a chunk: a one-frame chunk (start-up, the frame before it, the frame, encoder start and end), 5 runs"
for rep in 1 2 3 4 5; do
  /usr/bin/time -f '%e %U %S' -o "$work/time.txt" "$capture" --quiet --no-audio --from 60 --to 60.01 \
    -o "$work/one-frame.mp4" >/dev/null
  cat "$work/time.txt" >>"$work/fixed.txt"
done
sort -g "$work/fixed.txt" | awk '{ w[NR] = $1; c[NR] = $2 + $3 } END { printf "   median %.2f s wall, %.2f s processor (of %.2f-%.2f s wall)\n", w[3], c[3], w[1], w[5] }' |
  tee -a "$report" >&2
say "   load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
say ""
fi

if [[ $steps == *4* ]]; then
frames=120
say "4. 3840x2160, show time 60-62 s (120 frames) to H.264, one process"
timed "to H.264" "$capture" --quiet --size 3840x2160 --from 60 --to 62 -o "$work/uhd.mp4"
"$capture" --quiet --size 3840x2160 --from 60 --to 61 --stats "$work/uhd.csv" >"$work/uhd.txt"
say "   render only (60 frames): load $(value load_s "$work/uhd.txt") s, frame p50 $(median_ms "$work/uhd.csv") ms"
fi
cp "$report" "$out/farm-bench.txt"
echo "$out/farm-bench.txt"
