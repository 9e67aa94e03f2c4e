#!/usr/bin/env bash
# tsan-check.sh TSAN_SHOW_DIR SHOW_DIR: the capture program and the viewer
# built with ThreadSanitizer (scripts/setup.sh --fuzz builds them in
# build/tsan) run what uses threads:
#   1. the capture of three seconds to video: the music decoded on the sound
#      system's thread while the start-up goes on, frames handed to the
#      writer thread and piped to ffmpeg;
#   2. the viewer through a PulseAudio server of this script's own (a null
#      sink, tests/sound/pulse-server.sh) and an X server of its own: the
#      music mixed on SDL's audio thread while each frame reads its position
#      and spectrum, then a pause, a seek while paused, play, a seek while
#      playing, Escape;
#   3. the show itself there: both music files decoded on the sound
#      system's thread from the entry on while the dialog is answered and
#      the start-up loads, one taken by the sound start-up and the other
#      dropped, the music playing for a few seconds, Escape.
# Any ThreadSanitizer report fails it, except those inside the libraries that
# tests/tsan.supp names (not ours, not instrumented). The sanitized show
# folder gets the normal one's data by links.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sanitized=$1 show=$2
for program in quorlaxen quorlaxen-capture quorlaxen-viewer; do
  [ -x "$sanitized/$program" ] || { echo "missing $sanitized/$program (run scripts/setup.sh --fuzz)"; exit 1; }
  grep -q __tsan_init < <(nm "$sanitized/$program") || { echo "$sanitized/$program is not built with ThreadSanitizer"; exit 1; }
done
for data in meshes music textures cgeffects; do
  [ -e "$show/$data" ] || { echo "missing $show/$data (build the show first)"; exit 1; }
  ln -sfn "$(cd "$show/$data" && pwd)" "$sanitized/$data"
done
for tool in pulseaudio pactl Xvfb xdotool ffmpeg; do
  command -v "$tool" >/dev/null || { echo "tsan-check: needs $tool"; exit 1; }
done
work=$(mktemp -d)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
export TSAN_OPTIONS="suppressions=$root/tests/tsan.supp halt_on_error=0 exitcode=66 second_deadlock_stack=1 print_suppressions=1 log_path=$work/tsan"

reports() { cat "$work"/tsan.* 2>/dev/null | grep -c '^WARNING: ThreadSanitizer' || true; }
fail() {
  echo "$1"
  cat "$work"/tsan.* 2>/dev/null | head -200
  exit 1
}

# 1. The capture to video.
start=$(date +%s)
status=0
"$sanitized/quorlaxen-capture" --size 320x180 --from 100 --to 103 --quiet -o "$work/clip.mp4" \
  >"$work/capture.out" 2>"$work/capture.err" || status=$?
echo "capture of 3 s to video: exit code $status, $(($(date +%s) - start)) s, $(reports) reports"
[ "$status" -eq 0 ] || { cat "$work/capture.err"; fail "the capture failed"; }
[ "$(reports)" -eq 0 ] || fail "ThreadSanitizer reports from the capture"

# 2. The viewer through a sound server.
"$root/tests/sound/pulse-server.sh" "$work/pulse" 2>"$work/pulse.log" &
pids+=($!)
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for i in $(seq 100); do [ -S "$work/pulse/pulse/native" ] && [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -1 "$work/display")
frames() { grep -c '^frame' "$work/clock.txt" 2>/dev/null || true; }
# Waits until the viewer has played N more frames (a minute at most).
played() {
  local want=$(($(frames) + $1)) i
  for i in $(seq 600); do
    [ "$(frames)" -ge "$want" ] && return 0
    kill -0 "$viewer" 2>/dev/null || fail "the viewer ended early: $(cat "$work/viewer.err")"
    sleep 0.1
  done
  fail "the viewer played no frames: $(cat "$work/viewer.err")"
}
key() {
  xdotool windowfocus --sync "$window" key "$1"
  sleep 1
}
start=$(date +%s)
SDL_AUDIODRIVER=pulseaudio PULSE_SERVER=unix:$work/pulse/pulse/native QUORLAXEN_VIEWER_CLOCK=$work/clock.txt \
  "$sanitized/quorlaxen-viewer" --at 79 --size 160x90 --no-aa >/dev/null 2>"$work/viewer.err" &
viewer=$!
pids+=($viewer)
window=
for i in $(seq 600); do
  window=$(xdotool search --class quorlaxen-viewer 2>/dev/null | head -1) && [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "no viewer window: $(cat "$work/viewer.err")"
played 30
key space # pause
key Right # seek while paused
key space # play
played 30
key Left # seek while playing
played 30
xdotool windowfocus --sync "$window" key Escape
status=0
wait "$viewer" || status=$?
grep -q "no sound device" "$work/viewer.err" && fail "the viewer did not reach the sound server"
echo "viewer with its music through PulseAudio, pause and seeks: exit code $status, $(frames) frames," \
  "$(($(date +%s) - start)) s, $(reports) reports"
[ "$status" -eq 0 ] || fail "the viewer failed: $(cat "$work/viewer.err")"
[ "$(reports)" -eq 0 ] || fail "ThreadSanitizer reports from the viewer"

# 3. The show, its dialog answered with its defaults.
start=$(date +%s)
SDL_AUDIODRIVER=pulseaudio PULSE_SERVER=unix:$work/pulse/pulse/native "$sanitized/quorlaxen" \
  >/dev/null 2>"$work/show.err" &
show=$!
pids+=($show)
dialog=$(timeout 120 xdotool search --sync --name "Quorlaxen by KVT - 2009" | head -1) ||
  fail "no settings dialog: $(cat "$work/show.err")"
xdotool windowfocus --sync "$dialog" key Return
# A dialog still up a few seconds later lost its Return (sent before it was
# ready, on a loaded machine): it is sent again.
window=
for i in $(seq 3000); do
  window=$(xdotool search --onlyvisible --name "Quorlaxen - KVT 2009" 2>/dev/null | head -1) && [ -n "$window" ] && break
  kill -0 "$show" 2>/dev/null || fail "the show ended early: $(cat "$work/show.err")"
  if ((i % 50 == 0)) && xdotool search --name "Quorlaxen by KVT - 2009" >/dev/null 2>&1; then
    xdotool windowfocus --sync "$dialog" key Return || true
  fi
  sleep 0.1
done
[ -n "$window" ] || fail "no show window: $(cat "$work/show.err")"
# The music playing (its stream on the server), then a few seconds of it.
for i in $(seq 3000); do
  [ -n "$(PULSE_SERVER=unix:$work/pulse/pulse/native pactl list short sink-inputs 2>/dev/null)" ] && break
  kill -0 "$show" 2>/dev/null || fail "the show ended early: $(cat "$work/show.err")"
  sleep 0.1
done
[ -n "$(PULSE_SERVER=unix:$work/pulse/pulse/native pactl list short sink-inputs 2>/dev/null)" ] ||
  fail "the show played no music through the server: $(cat "$work/show.err")"
sleep 3
xdotool windowfocus --sync "$window" key Escape
status=0
wait "$show" || status=$?
echo "show through PulseAudio: exit code $status, $(($(date +%s) - start)) s, $(reports) reports"
[ "$status" -eq 0 ] || fail "the show failed: $(cat "$work/show.err")"
[ "$(reports)" -eq 0 ] || fail "ThreadSanitizer reports from the show"
# What the suppressions took, for the record.
cat "$work"/tsan.* 2>/dev/null | grep -E '^ThreadSanitizer: Matched|^ *[0-9]+ race:' || true
