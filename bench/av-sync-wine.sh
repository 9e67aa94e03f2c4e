#!/usr/bin/env bash
# The show's picture against its music heard, on Linux and on Windows under
# Wine, the same way: the show itself (not the viewer) from its start for
# SECONDS (default 20) full screen at 1280x720 with the dialog's defaults,
# its music into a null sink of a PulseAudio server of this script's own,
# the sink's monitor recorded with the stream's clock on CLOCK_MONOTONIC_RAW
# (build/tests/monitor-record ... raw), the frames it shows logged on its
# performance counter (QUORLAXEN_SHOW_CLOCK; SDL's counter on Linux and
# Wine's QueryPerformanceCounter both read CLOCK_MONOTONIC_RAW). Linux: SDL's
# PulseAudio driver. Windows: SDL's WASAPI driver on Wine's PulseAudio driver
# (tests/windows/check.sh music_sync does that run, its sound threads raised
# to real-time priorities; the Linux run keeps its own). Each run's report
# (build/tests/av-sync-report) goes to OUT/av-sync-wine.txt.
#
#   bench/av-sync-wine.sh [SECONDS [WINDOWS_BUILD_DIR [BUILD_DIR]]]
#   BENCH_OUT=DIR   (default docs/bench)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
win=$(cd "${2:-$root/build-windows}" && pwd)
build=$(cd "${3:-$root/build}" && pwd)
out=${BENCH_OUT:-$root/docs/bench}
show=$build/show/quorlaxen
recorder=$build/tests/monitor-record
report=$build/tests/av-sync-report
for f in "$show" "$recorder" "$report"; do
  [ -x "$f" ] || { echo "av-sync-wine: build $f first (monitor-record needs libpulse-dev)" >&2; exit 1; }
done
for tool in pulseaudio Xvfb xdotool wine; do
  command -v "$tool" >/dev/null || { echo "av-sync-wine: needs $tool" >&2; exit 1; }
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

# The Linux show, as a person starts it.
linux_run() {
  local dir=$work/linux i
  mkdir -p "$dir"
  "$root/tests/sound/pulse-server.sh" "$dir/pulse" 2>"$dir/pulse.log" &
  pids+=($!)
  for i in $(seq 100); do [ -S "$dir/pulse/pulse/native" ] && break; sleep 0.1; done
  local server=unix:$dir/pulse/pulse/native
  Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$dir/display" 2>/dev/null &
  pids+=($!)
  for i in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.1; done
  export DISPLAY=:$(head -1 "$dir/display")
  PULSE_SERVER=$server "$recorder" nul.monitor "$dir/monitor" raw >"$dir/recorder.out" 2>"$dir/recorder.err" &
  local recorder_pid=$!
  pids+=($recorder_pid)
  for i in $(seq 100); do grep -qs recording "$dir/recorder.out" && break; sleep 0.1; done
  SDL_AUDIODRIVER=pulseaudio PULSE_SERVER=$server QUORLAXEN_SHOW_CLOCK=$dir/clock.txt \
    "$show" >/dev/null 2>"$dir/show.err" &
  local show_pid=$!
  pids+=($show_pid)
  # Return to the dialog ("Run ..." is its default button) until the show runs.
  local dialog
  for i in $(seq 600); do
    awk '$1 == "frame" && $4 > 0 {n++} END {exit !n}' "$dir/clock.txt" 2>/dev/null && break
    kill -0 "$show_pid" 2>/dev/null || { echo "av-sync-wine: the Linux show ended: $(tail -3 "$dir/show.err")" >&2; exit 1; }
    if [ $((i % 10)) = 1 ]; then
      for dialog in $(xdotool search --name "Quorlaxen by KVT" 2>/dev/null); do
        xdotool key --window "$dialog" Return 2>/dev/null || true
      done
    fi
    sleep 0.2
  done
  sleep "$seconds"
  kill "$show_pid"
  wait "$show_pid" 2>/dev/null || true
  kill "$recorder_pid"
  wait "$recorder_pid" || true
  local music
  music=$(sed -n 's|^music music/*||p' "$dir/clock.txt" | tail -n 1)
  "$report" "$dir/monitor" "$dir/clock.txt" "$build/show/music/$music" 0 >"$work/linux.txt"
  sed -i "1i music=$music" "$work/linux.txt"
  stop_all
}

machine="$(uname -n), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores"
echo "load average before Linux: $(cut -d' ' -f1-3 /proc/loadavg)" >"$work/head.txt"
linux_run
echo "load average before Windows: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$work/head.txt"
MUSIC_SYNC_SECONDS=$seconds MUSIC_SYNC_SCREEN=1280x720 MUSIC_SYNC_REPORT=$work/windows.txt \
  "$root/tests/windows/check.sh" music_sync "$win" "$build" >&2 || true
[ -s "$work/windows.txt" ] || echo "no report: the run failed before the music was read" >"$work/windows.txt"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$work/head.txt"
{
  echo "The show from its start for $seconds s, full screen 1280x720, music into a PulseAudio null sink;"
  echo "$machine; $(date -u +%Y-%m-%d)"
  cat "$work/head.txt"
  echo
  echo "[Linux: SDL's PulseAudio driver]"
  cat "$work/linux.txt"
  echo
  echo "[Windows under Wine: SDL's WASAPI driver, Wine's PulseAudio driver; $(basename "$win")]"
  cat "$work/windows.txt"
} >"$out/av-sync-wine.txt"
cat "$out/av-sync-wine.txt"
