#!/usr/bin/env bash
# The Windows build (scripts/build-windows.sh) under Wine, as a person on
# Windows would use it. Each case runs on an X server of its own with a Wine
# prefix of its own, and ends its Wine server and X server however it ends.
# Usage: check.sh CASE WINDOWS_BUILD_DIR NATIVE_BUILD_DIR
#   CASE: capture_frames | show | alt_f4 | no_music | no_texture | no_effect |
#         no_sound_device | zip
set -euo pipefail
what=$1
win=$(cd "$2" && pwd)
native=$(cd "$3" && pwd)
source=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
xvfb_pid=

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cleanup() {
  [ -d "$scratch/prefix" ] && WINEPREFIX=$scratch/prefix wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

stage=$(echo "$win"/stage/quorlaxen-*-windows-x64)
[ -f "$stage/quorlaxen.exe" ] || fail "no Windows build in $win (run scripts/build-windows.sh)"
frame_diff=$native/tests/frame_diff

# An X server with a screen like a desktop's, and a new Wine prefix on it.
# Wine is told not to offer its .NET and HTML engines (they would be
# downloaded); nothing in the show needs them.
start_wine() {
  Xvfb -displayfd 5 -screen 0 1920x1080x24 -nolisten tcp 5>"$scratch/display" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$scratch/display" ] && break
    sleep 0.1
  done
  [ -s "$scratch/display" ] || fail "Xvfb did not start"
  export DISPLAY=:$(head -n 1 "$scratch/display")
  unset WAYLAND_DISPLAY SDL_AUDIODRIVER
  export WINEPREFIX=$scratch/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=d"
  # No sound server reaches this Wine: it has no audio device unless a case
  # asks SDL for its dummy driver.
  export PULSE_SERVER=unix:$scratch/no-sound-server
  wineboot -i >"$scratch/wineboot.log" 2>&1 || fail "wineboot failed: $(tail -n 3 "$scratch/wineboot.log")"
}

# On Windows the clipboard outlives the program that set it; under Wine its
# owner lives as long as some Wine program does: a console waiting for a key
# on a pipe this script holds open until it ends.
keep_clipboard() {
  mkfifo "$scratch/hold"
  wine cmd /c pause <"$scratch/hold" >/dev/null 2>&1 &
  exec 7>"$scratch/hold"
}

# A copy of the show folder that a case may take files from.
copy_show() {
  cp -r "$stage" "$scratch/show"
}

regex_of() { printf '%s' "$1" | sed 's/[][\.*^$()+?{}|/]/\\&/g'; }

# The X window whose title is exactly $1, waited for up to $2 seconds.
wait_window() {
  local pattern id
  pattern="^$(regex_of "$1")\$"
  for _ in $(seq 0 $((${2:-60} * 5))); do
    id=$(xdotool search --name "$pattern" 2>/dev/null | head -n 1 || true)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    [ "${2:-60}" = 0 ] && break
    sleep 0.2
  done
  return 1
}

press() { # key $2 to window $1
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool key --window "$1" "$2"
}

wait_exit() { # pid, seconds; sets exit_code (not in a subshell: it waits for its child)
  local pid=$1
  for _ in $(seq $(($2 * 10))); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && fail "the program did not end within $2 s"
  exit_code=0
  wait "$pid" || exit_code=$?
}

dialog_caption="                      Quorlaxen by KVT - 2009 "
show_title=" =       Quorlaxen - KVT 2009 = "
fallback_caption="KVT GL ;-)"

# Starts the show (extra environment in "$@") and answers its dialog with
# Return ("Run ..." is the default button).
start_show() {
  (cd "$scratch/show" && exec env "$@" wine quorlaxen.exe >"$scratch/out" 2>"$scratch/err") &
  show_pid=$!
  local dialog
  dialog=$(wait_window "$dialog_caption" 90) || fail "no settings dialog: $(cat "$scratch/err")"
  press "$dialog" Return
}

# Waits for the window titled $1 after the dialog; a full-screen mode that
# the display will not switch to is answered with a window on the way. A
# dialog still there after a few seconds has lost its Return (a key sent
# while Wine was still making it ready, on a loaded machine): it is sent again.
wait_after_dialog() {
  local id i
  for i in $(seq 600); do
    if id=$(wait_window "$fallback_caption" 0); then
      press "$id" Return
    elif id=$(wait_window "$1" 0); then
      echo "$id"
      return 0
    elif [ $((i % 25)) = 0 ] && id=$(wait_window "$dialog_caption" 0); then
      press "$id" Return
    fi
    kill -0 "$show_pid" 2>/dev/null || return 1
    sleep 0.2
  done
  return 1
}

# Walks a failure road: the box with caption $1 appears, is dismissed, and
# the program ends with exit code $2; $3 is the message's text on standard
# error.
expect_road() {
  local box code
  box=$(wait_after_dialog "$1") || fail "no message box \"$1\"; stderr: $(cat "$scratch/err")"
  press "$box" Return
  wait_exit "$show_pid" 60
  [ "$exit_code" = "$2" ] || fail "exit code $exit_code, expected $2; stderr: $(cat "$scratch/err")"
  grep -qF "$3" "$scratch/err" || fail "standard error lacks \"$3\": $(cat "$scratch/err")"
}

# The dialog as Windows made it from the resource: caption, then each
# control's id, text and place in dialog units, as the resource script has
# them (a closed list's height is its edit line's, not the script's).
check_dialog() {
  local script=$source/src/shell/settings_dialog.rc
  wine "$win/build/windows-dialog-probe.exe" "$dialog_caption" 179 88 30 >"$scratch/probe" 2>&1 ||
    fail "the dialog could not be probed: $(cat "$scratch/probe")"
  sed -n 's/^CAPTION \(".*"\)$/dialog \1/p' "$script" >"$scratch/want"
  sed -n 's/^    \([A-Z]*\) \("[^"]*"\), \([A-Z0-9-]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\),.*/\3 \2 \4 \5 \6 \7/p;
          s/^    COMBOBOX \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\), [0-9]*,.*/\1 "" \2 \3 \4/p' "$script" |
    sed 's/^IDOK /1 /; s/^IDCANCEL /2 /' >>"$scratch/want"
  sed -E 's/^(dialog ".*") style=.*/\1/; s/^control (-?[0-9]+) [A-Za-z]+ (".*") ([0-9]+) ([0-9]+) ([0-9]+) ([0-9]+) style=.*/\1 \2 \3 \4 \5 \6/' \
    "$scratch/probe" | sed -E 's/^(1014 "" [0-9]+ [0-9]+ [0-9]+) [0-9]+$/\1/' >"$scratch/got"
  [ "$(wc -l <"$scratch/want")" -eq 10 ] || fail "the resource script did not read as 10 lines"
  diff "$scratch/want" "$scratch/got" >&2 || fail "the dialog differs from its resource"
}

# Frames of the Linux capture and of the Windows capture at the same show
# times and options, compared pixel by pixel.
compare_frames() { # folder of the Windows frames, then the capture options
  local wine_frames=$1
  shift
  "$native/show/quorlaxen-capture" --quiet "$@" -o "$scratch/linux/" >/dev/null || fail "the Linux capture failed"
  local count=0
  for linux_frame in "$scratch"/linux/*.png; do
    "$frame_diff" "$linux_frame" "$wine_frames/$(basename "$linux_frame")" 0.995 ||
      fail "$(basename "$linux_frame") differs from the Linux frame"
    count=$((count + 1))
  done
  [ "$count" -gt 0 ] || fail "no frames to compare"
}

case $what in
capture_frames)
  start_wine
  copy_show
  # One show time in each of five rows: quiet paper, title doodles and dots,
  # the railway, the blue field, the finale.
  times=(--at 36 --at 20 --at 105 --at 130 --at 224)
  (cd "$scratch" && wine show/quorlaxen-capture.exe --quiet "${times[@]}" --size 640x360 -o wine/ >out 2>err) ||
    fail "the Windows capture failed: $(cat "$scratch/err")"
  compare_frames "$scratch/wine" "${times[@]}" --size 640x360
  ;;
show)
  start_wine
  copy_show
  keep_clipboard
  # The test's way to play with no sound card; the show never picks it itself.
  start_show SDL_AUDIODRIVER=dummy
  check_dialog
  window=$(wait_after_dialog "$show_title") || fail "no show window; stderr: $(cat "$scratch/err")"
  # A middle click records the capture text; Escape ends the show with it on
  # the clipboard.
  sleep 2
  xdotool mousemove --window "$window" 200 150 click 2
  sleep 0.5
  press "$window" Escape
  wait_exit "$show_pid" 60
  [ "$exit_code" = 0 ] || fail "exit code $exit_code after Escape; stderr: $(cat "$scratch/err")"
  xclip -selection clipboard -o >"$scratch/clipboard" 2>&1 || fail "nothing on the clipboard: $(cat "$scratch/clipboard")"
  grep -q '^Cam :' "$scratch/clipboard" && grep -q '^Pnt :' "$scratch/clipboard" &&
    grep -q '^MCr :' "$scratch/clipboard" || fail "the clipboard holds: $(cat "$scratch/clipboard")"
  ;;
alt_f4)
  start_wine
  copy_show
  keep_clipboard
  start_show SDL_AUDIODRIVER=dummy
  window=$(wait_after_dialog "$show_title") || fail "no show window; stderr: $(cat "$scratch/err")"
  sleep 2
  xdotool mousemove --window "$window" 200 150 click 2
  sleep 0.5
  # Alt+F4 closes the window at once: no fade, nothing on the clipboard.
  press "$window" alt+F4
  wait_exit "$show_pid" 30
  [ "$exit_code" = 0 ] || fail "exit code $exit_code after Alt+F4; stderr: $(cat "$scratch/err")"
  if xclip -selection clipboard -o 2>/dev/null | grep -q '^Cam :'; then
    fail "Alt+F4 put the capture text on the clipboard"
  fi
  ;;
no_music)
  start_wine
  copy_show
  rm "$scratch"/show/music/*.mp3
  start_show SDL_AUDIODRIVER=dummy
  expect_road "Quorlaxen  " 0 "No sound file."
  ;;
no_texture)
  start_wine
  copy_show
  rm "$scratch/show/textures/paper 1a.jpg"
  start_show SDL_AUDIODRIVER=dummy
  expect_road "Jpg" 0 "paper 1a.jpg"
  ;;
no_effect)
  start_wine
  copy_show
  rm "$scratch/show/cgeffects/f_0"
  start_show SDL_AUDIODRIVER=dummy
  expect_road "  = Tarnwhisk. KVT 2007 = - File is missing !" 0 "f_0"
  ;;
no_sound_device)
  start_wine
  copy_show
  start_show
  expect_road "Quorlaxen  " 1 "Problem initializing FMod."
  ;;
zip)
  start_wine
  zip_file=$(echo "$win"/packages/quorlaxen-*-windows-x64.zip)
  [ -f "$zip_file" ] || fail "no zip in $win/packages"
  mkdir "$scratch/unpacked"
  (cd "$scratch/unpacked" && cmake -E tar xf "$zip_file") || fail "the zip does not unpack"
  folder=$(echo "$scratch"/unpacked/quorlaxen-*-windows-x64)
  for entry in quorlaxen.exe quorlaxen-capture.exe README.txt music meshes textures cgeffects; do
    [ -e "$folder/$entry" ] || fail "the zip lacks $entry"
  done
  [ "$(ls "$scratch/unpacked")" = "$(basename "$folder")" ] || fail "the zip holds more than one folder"
  # One frame to one file, the form a person uses.
  mkdir "$scratch/wine"
  (cd "$scratch" && wine "$folder/quorlaxen-capture.exe" --quiet --at 60 --size 320x180 -o wine/show-060.000.png \
    >out 2>err) ||
    fail "the unpacked capture program failed: $(cat "$scratch/err")"
  compare_frames "$scratch/wine" --at 60 --size 320x180
  ;;
*)
  fail "unknown case $what"
  ;;
esac
echo "ok: $what"
