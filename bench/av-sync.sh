#!/usr/bin/env bash
# The picture against the sound heard, in real time through a real sound
# server: quorlaxen-viewer plays the show from 0 for LENGTH seconds of show
# time (default the whole show) at 1280x720 (or AV_SYNC_SIZE) with 4 samples, its music
# through SDL's PulseAudio driver to a server of this script's own (a null
# sink, tests/sound/pulse-server.sh), whose monitor is recorded with the
# sink's clock (build/tests/monitor-record). Twice: on a quiet machine, and
# with both cores kept busy by two busy loops for a minute in the middle.
# Per run (build/tests/av-sync-report): the music matched against the
# decoded MP3 block by block, the A/V offset of each presented frame (its
# show time minus the music time heard when it was presented; also when its
# clock was read; the music position the frame driver read against the
# sample heard), frame intervals, resident memory.
# Writes OUT/av-sync.txt (both reports and the load averages they ran
# under), OUT/av-sync-quiet.csv, OUT/av-sync-load.csv and OUT/av-sync.png
# (the offsets over the show with the cue table's entries marked; gnuplot).
#
#   bench/av-sync.sh [LENGTH [BUILD_DIR]]
#   BENCH_OUT=DIR   (default docs/bench)
#   AV_SYNC_SIZE=WxH  (default 1280x720)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
length=${1:-$("$root/scripts/show-fact.sh" show_end_time)}
size=${AV_SYNC_SIZE:-1280x720}
build=$(cd "${2:-$root/build}" && pwd)
out=${BENCH_OUT:-$root/docs/bench}
viewer=$build/show/quorlaxen-viewer
recorder=$build/tests/monitor-record
report=$build/tests/av-sync-report
music="$build/show/music/Zembra - Quorlaxen.mp3"
for f in "$viewer" "$recorder" "$report"; do
  [ -x "$f" ] || { echo "av-sync: build $f first (monitor-record needs libpulse-dev)" >&2; exit 1; }
done
for tool in pulseaudio Xvfb python3 gnuplot; do
  command -v "$tool" >/dev/null || { echo "av-sync: needs $tool" >&2; exit 1; }
done
mkdir -p "$out"
work=$(mktemp -d)
pids=()
stop_all() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  pids=()
}
trap 'stop_all; rm -rf "$work"' EXIT

monotonic_ns() { python3 -c 'import time; print(time.clock_gettime_ns(time.CLOCK_MONOTONIC))'; }
last_show_time() { awk '$1 == "frame" {t = $4} END {print t + 0}' "$1"; }

# run NAME LOADED: one real-time run; its report in $work/NAME.txt.
run() {
  local name=$1 loaded=$2 dir=$work/$1
  mkdir -p "$dir"
  echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)" >"$work/$name.txt"
  "$root/tests/sound/pulse-server.sh" "$dir/pulse" 2>"$dir/pulse.log" &
  pids+=($!)
  local server=unix:$dir/pulse/pulse/native i
  for i in $(seq 100); do [ -S "$dir/pulse/pulse/native" ] && break; sleep 0.1; done
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$dir/display" 2>/dev/null &
  pids+=($!)
  for i in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.1; done
  local display
  display=$(head -1 "$dir/display")
  PULSE_SERVER=$server "$recorder" nul.monitor "$dir/monitor" >"$dir/recorder.out" 2>"$dir/recorder.err" &
  pids+=($!)
  for i in $(seq 100); do grep -qs recording "$dir/recorder.out" && break; sleep 0.1; done
  DISPLAY=:$display SDL_AUDIODRIVER=pulseaudio PULSE_SERVER=$server QUORLAXEN_VIEWER_CLOCK=$dir/clock.txt \
    "$viewer" --at 0 --size "$size" >/dev/null 2>"$dir/viewer.err" &
  local viewer_pid=$!
  pids+=($viewer_pid)
  until [ -s "$dir/clock.txt" ] && grep -q '^frame' "$dir/clock.txt"; do sleep 0.2; done
  local from=() busy=()
  if [ "$loaded" = 1 ]; then
    # A minute of both cores busy, in the middle (the middle third of a short run).
    local half start span
    half=$(awk -v l="$length" 'BEGIN {print l / 2}')
    span=$(awk -v l="$length" 'BEGIN {print (l >= 90 ? 60 : l / 3)}')
    start=$(awk -v h="$half" -v s="$span" 'BEGIN {print h - s / 2}')
    while awk -v t="$(last_show_time "$dir/clock.txt")" -v s="$start" 'BEGIN {exit !(t < s)}'; do sleep 0.1; done
    from=("$(monotonic_ns)")
    for i in 1 2; do
      (while :; do :; done) &
      busy+=($!)
    done
    sleep "$span"
    kill "${busy[@]}"
    wait "${busy[@]}" 2>/dev/null || true
    from+=("$(monotonic_ns)")
  fi
  # Until LENGTH, or until the viewer stops at the show's last frame (no
  # frame logged for 3 s).
  while kill -0 "$viewer_pid" 2>/dev/null &&
    awk -v t="$(last_show_time "$dir/clock.txt")" -v l="$length" 'BEGIN {exit !(t < l - 0.05)}' &&
    [ $(($(date +%s) - $(stat -c %Y "$dir/clock.txt"))) -lt 3 ]; do
    sleep 0.2
  done
  echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$work/$name.txt"
  stop_all
  "$report" "$dir/monitor" "$dir/clock.txt" "$music" 0 "$out/av-sync-$name.csv" "${from[@]}" >>"$work/$name.txt"
}

machine="$(uname -n), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores"
run quiet 0
run load 1
{
  echo "A/V offset through a PulseAudio null sink, quorlaxen-viewer at $size with 4 samples,"
  echo "show time 0 to $length; $machine; $(date -u +%Y-%m-%d)"
  echo
  echo "[quiet]"
  cat "$work/quiet.txt"
  echo
  echo "[two busy loops for a minute in the middle]"
  cat "$work/load.txt"
} >"$out/av-sync.txt"

# Offsets over the show, the cue table's entries marked, and resident memory.
cues=$(grep -o '{[0-9.]*, [0-9.]*, [0-9]*}' "$root/src/runtime/schedule.cpp" | tr -d '{}' |
  awk -F', ' -v l="$length" '$1 <= l {printf "set arrow from %s, graph 0 to %s, graph 1 nohead lc rgb \"#b0b0b0\" dt 2\n", $1, $1}')
load_from=$(sed -n 's/^load_from_show_s=//p' "$work/load.txt")
quiet_load=$(sed -n 's/^load average before: //p' "$work/quiet.txt")
loaded_load=$(sed -n 's/^load average before: //p' "$work/load.txt")
load_to=$(sed -n 's/^load_to_show_s=//p' "$work/load.txt")
gnuplot <<PLOT
set terminal pngcairo size 1400,900 font "DejaVu Sans,10"
set output "$out/av-sync.png"
set datafile separator ","
set multiplot layout 3,1
set xrange [0:$length]
set grid ytics
set key top left
$cues
set ylabel "picture - music heard (ms)"
set yrange [-50:50]
set title "No load added (load average before: $quiet_load; other work on the machine counts; dashed: the cue table's entries)"
plot 16.667 lc rgb "#d08080" dt 3 title "one frame", -16.667 lc rgb "#d08080" dt 3 notitle, \
  "$out/av-sync-quiet.csv" using 2:4 with lines lc rgb "#a0c0e8" title "each frame, at presentation", \
  "$out/av-sync-quiet.csv" using 2:8 with lines lw 2 lc rgb "#1040a0" title "mean over a second"
set title "Both cores busy from $load_from s to $load_to s of show time (shaded; load average before: $loaded_load)"
set object 1 rect from $load_from, graph 0 to $load_to, graph 1 fc rgb "#f0e0c0" fs solid 0.5 behind
plot 33.333 lc rgb "#d08080" dt 3 title "two frames", -33.333 lc rgb "#d08080" dt 3 notitle, \
  "$out/av-sync-load.csv" using 2:4 with lines lc rgb "#f0b8a0" title "each frame, at presentation", \
  "$out/av-sync-load.csv" using 2:8 with lines lw 2 lc rgb "#a03010" title "mean over a second"
unset object 1
set title "Resident memory"
set ylabel "MB"
set yrange [*:*]
set xlabel "show time (s)"
plot "$out/av-sync-quiet.csv" using 2:6 with lines lc rgb "#2060c0" title "quiet", \
  "$out/av-sync-load.csv" using 2:6 with lines lc rgb "#c05020" title "loaded"
unset multiplot
PLOT
cat "$out/av-sync.txt"
