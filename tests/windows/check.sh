#!/usr/bin/env bash
# The Windows build (scripts/build-windows.sh) under Wine, as a person on
# Windows would use it. Each case runs on an X server of its own with a Wine
# prefix of its own, and ends its Wine server and X server however it ends.
# Usage: check.sh CASE WINDOWS_BUILD_DIR NATIVE_BUILD_DIR
#   CASE: capture_frames | show | alt_f4 | no_music | no_texture | missing_file |
#         no_device | any_folder | zip | music_sync
#   music_sync: MUSIC_SYNC_SECONDS (default 12) of show full screen on a
#   MUSIC_SYNC_SCREEN (default 640x360) display; MUSIC_SYNC_REPORT=FILE keeps
#   the report there
set -euo pipefail
what=$1
win=$(cd "$2" && pwd)
native=$(cd "$3" && pwd)
source=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
xvfb_pid=
sound_pids=() # the sound server and its recorder, ended after Wine

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cleanup() {
  [ -d "$scratch/prefix" ] && WINEPREFIX=$scratch/prefix wineserver -k 2>/dev/null || true
  local p
  for p in "${sound_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${sound_pids[@]}"; do wait "$p" 2>/dev/null || true; done
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
start_wine() { # [SCREEN_SIZE]
  Xvfb -displayfd 5 -screen 0 "${1:-1920x1080}x24" -nolisten tcp 5>"$scratch/display" 2>/dev/null &
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

# The display scaled as most laptops are (150 %, 144 dots per inch).
scale_display() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1 &&
    wine reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1 ||
    fail "the display's scale could not be set"
}

# On Windows the clipboard outlives the program that set it; under Wine its
# owner lives as long as some Wine program does: a console waiting for a key
# on a pipe this script holds open until it ends.
keep_clipboard() {
  mkfifo "$scratch/hold"
  wine cmd /c pause <"$scratch/hold" >/dev/null 2>&1 &
  exec 7>"$scratch/hold"
}

# A copy of the show folder that a case may take files from; the show is
# started from another folder, as from a shortcut.
copy_show() {
  show_dir=$scratch/${1:-show}
  cp -r "$stage" "$show_dir"
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

# Key $2 to window $1. A key that closes the window (Alt+F4) can find it gone
# by the time its release is sent, and xdotool then fails: what the key did
# is judged by what follows each press (an exit, a window), not by xdotool.
press() {
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool key --window "$1" "$2" 2>/dev/null || true
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

# Starts the show (extra environment in "$@") and waits for its settings
# dialog: sets show_pid and dialog.
open_show() {
  (cd "$scratch" && exec env "$@" wine "$show_dir/quorlaxen.exe" >"$scratch/out" 2>"$scratch/err") &
  show_pid=$!
  dialog=$(wait_window "$dialog_caption" 90) || fail "no settings dialog: $(cat "$scratch/err")"
}

# ... and answers the dialog with Return ("Run ..." is the default button).
start_show() {
  open_show "$@"
  press "$dialog" Return
}

# The probe's lines, without the carriage returns of a Windows console.
probe() { wine "$win/build/windows-dialog-probe.exe" "$@" | tr -d '\r'; }

# Clicks the control with id $1 of the dialog with the left button, where the
# probe found it on the screen.
click_control() {
  local at
  at=$(probe dialog "$dialog_caption" "$dialog_font" "$dialog_points" 30 | sed -n "s/^control $1 .* at \([0-9]*\) \([0-9]*\)$/\1 \2/p")
  [ -n "$at" ] || fail "no control $1 in the dialog"
  # shellcheck disable=SC2086 # two numbers
  xdotool mousemove $at click 1
}

# Middle-clicks the show window $1 until its window procedure has had a
# WM_MBUTTONDOWN (Wine's message trace, which the show is started with, on
# its standard error): a click sent while the window was still loading, or
# lost, would prove nothing about what follows it.
middle_click() {
  local i
  for i in $(seq 120); do
    [ $((i % 10)) = 1 ] && { xdotool mousemove --window "$1" 200 150 click 2 2>/dev/null || true; }
    grep -q 'WM_MBUTTONDOWN dispatched' "$scratch/err" && return 0
    kill -0 "$show_pid" 2>/dev/null || fail "the show ended before its middle click: $(tail -n 5 "$scratch/err")"
    sleep 0.5
  done
  fail "no middle click reached the show's window in 60 s"
}
# What a show is started with for middle_click: Wine traces every message
# its windows are dispatched.
message_trace=WINEDEBUG=-all,+message

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
  box=$(wait_after_dialog "$1") || fail "no message box \"$1\"; stderr: $(tail -n 20 "$scratch/err")"
  press "$box" Return
  wait_exit "$show_pid" 60
  [ "$exit_code" = "$2" ] || fail "exit code $exit_code, expected $2; stderr: $(tail -n 20 "$scratch/err")"
  grep -qF "$3" "$scratch/err" || fail "standard error lacks \"$3\": $(tail -n 20 "$scratch/err")"
}

# The dialog as Windows made it from the resource, while it waits for its
# answer: caption, size, styles and extended styles, then each control's id,
# text, place in dialog units and styles, as the resource script has them.
# Dialog units are reckoned from the script's font (a closed list's height is
# its edit line's, not the script's). Style bits Windows adds are not asked
# about; a button's or list's kind must be the script's exactly.
declare -A style_bits=(
  [WS_POPUP]=0x80000000 [WS_CHILD]=0x40000000 [WS_VISIBLE]=0x10000000 [WS_CAPTION]=0x00C00000
  [WS_SYSMENU]=0x00080000 [WS_VSCROLL]=0x00200000 [WS_TABSTOP]=0x00010000
  [DS_SYSMODAL]=0x2 [DS_3DLOOK]=0x4 [DS_SETFONT]=0x40 [DS_MODALFRAME]=0x80 [DS_CENTER]=0x800
  [DS_CENTERMOUSE]=0x1000 [BS_FLAT]=0x8000 [BS_PUSHLIKE]=0x1000 [CBS_DROPDOWNLIST]=0x3
  [WS_EX_TOOLWINDOW]=0x80 [WS_EX_ACCEPTFILES]=0x10
)
# The kind each statement of the script gives a control, and the bits that hold it.
declare -A kind_bits=([DEFPUSHBUTTON]=1 [PUSHBUTTON]=0 [AUTOCHECKBOX]=3 [GROUPBOX]=7 [COMBOBOX]=0)
bits_of() { # "A | B | C" -> the number
  local sum=0 name
  for name in ${1//|/ }; do
    [ -n "${style_bits[$name]:-}" ] || fail "the test does not know the style $name"
    sum=$((sum | style_bits[$name]))
  done
  echo "$sum"
}
script=$source/src/shell/settings_dialog.rc
dialog_font=$(sed -n 's/^FONT [0-9]*, "\(.*\)"$/\1/p' "$script")
dialog_points=$(sed -n 's/^FONT \([0-9]*\), .*/\1/p' "$script")

check_dialog() {
  probe dialog "$dialog_caption" "$dialog_font" "$dialog_points" 30 >"$scratch/probe" 2>&1 ||
    fail "the dialog could not be probed: $(cat "$scratch/probe")"
  local line got style exstyle exstyle_got kind x y w h id text rest
  : >"$scratch/want"
  : >"$scratch/got"
  read -r _ _ _ w h < <(sed -n 's/^\([0-9]*\) DIALOGEX \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\)$/\1 \2 \3 \4 \5/p' "$script")
  style=$(bits_of "$(sed -n 's/^STYLE //p' "$script")")
  exstyle=$(bits_of "$(sed -n 's/^EXSTYLE //p' "$script")")
  printf 'dialog %s %s %s %#x %#x\n' "$(sed -n 's/^CAPTION //p' "$script")" "$w" "$h" "$style" "$exstyle" >>"$scratch/want"
  # The caption has spaces of its own: take it whole from the probe's line.
  text=$(sed -E -n 's/^dialog (".*") [0-9]+ [0-9]+ style=.*/\1/p' "$scratch/probe")
  read -r w h got exstyle_got < <(sed -E -n 's/^dialog ".*" ([0-9]+) ([0-9]+) style=(0x[0-9a-f]+) exstyle=(0x[0-9a-f]+)$/\1 \2 \3 \4/p' "$scratch/probe")
  [ -n "${got:-}" ] || fail "the probe did not describe the dialog: $(cat "$scratch/probe")"
  printf 'dialog %s %s %s %#x %#x\n' "$text" "$w" "$h" $((got & style)) $((exstyle_got & exstyle)) >>"$scratch/got"
  # Controls, in the script's order, which is the dialog's.
  local masks=() kinds=() i=0
  while IFS= read -r line; do
    if [[ $line =~ ^\ +([A-Z]+)\ (\"[^\"]*\"),\ ([A-Z0-9-]+),\ ([0-9]+),\ ([0-9]+),\ ([0-9]+),\ ([0-9]+),\ (.*)$ ]]; then
      kind=${BASH_REMATCH[1]} text=${BASH_REMATCH[2]} id=${BASH_REMATCH[3]}
      x=${BASH_REMATCH[4]} y=${BASH_REMATCH[5]} w=${BASH_REMATCH[6]} h=${BASH_REMATCH[7]} rest=${BASH_REMATCH[8]}
    elif [[ $line =~ ^\ +COMBOBOX\ ([0-9]+),\ ([0-9]+),\ ([0-9]+),\ ([0-9]+),\ [0-9]+,\ (.*)$ ]]; then
      kind=COMBOBOX text='""' id=${BASH_REMATCH[1]}
      x=${BASH_REMATCH[2]} y=${BASH_REMATCH[3]} w=${BASH_REMATCH[4]} h='' rest=${BASH_REMATCH[5]}
    else
      continue
    fi
    id=${id/IDOK/1}
    id=${id/IDCANCEL/2}
    style=$(($(bits_of "$rest") | kind_bits[$kind]))
    # A combo box hands its scroll bar to its drop-down list and clears it
    # on itself.
    [ "$kind" = COMBOBOX ] && style=$((style & ~style_bits[WS_VSCROLL]))
    kinds+=("$kind")
    if [ "$kind" = COMBOBOX ]; then masks+=($((style | 0x3))); else masks+=($((style | 0xF))); fi
    echo "$id $text $x $y $w${h:+ $h} $(printf '%#x' "$style")" >>"$scratch/want"
  done < <(sed -n '/^BEGIN$/,/^END$/p' "$script")
  while IFS= read -r line; do
    [[ $line =~ ^control\ (-?[0-9]+)\ [A-Za-z]+\ (\".*\")\ ([0-9]+)\ ([0-9]+)\ ([0-9]+)\ ([0-9]+)\ style=(0x[0-9a-f]+)\  ]] ||
      fail "the probe's line \"$line\" does not read"
    h=${BASH_REMATCH[6]}
    [ "${kinds[$i]:-}" = COMBOBOX ] && h=
    echo "${BASH_REMATCH[1]} ${BASH_REMATCH[2]} ${BASH_REMATCH[3]} ${BASH_REMATCH[4]} ${BASH_REMATCH[5]}${h:+ $h}" \
      "$(printf '%#x' $((BASH_REMATCH[7] & ${masks[$i]:-0})))" >>"$scratch/got"
    i=$((i + 1))
  done < <(grep '^control ' "$scratch/probe")
  [ "$(wc -l <"$scratch/want")" -eq 10 ] || fail "the resource script did not read as 10 lines"
  diff "$scratch/want" "$scratch/got" >&2 || fail "the dialog differs from its resource"
  # What the dialog procedure set up: the two boxes it ticks, and a line
  # selected in the list.
  for tick in "1011 1" "1012 0" "1013 1"; do
    grep -q "^control ${tick% *} .* checked=${tick#* } at " "$scratch/probe" ||
      fail "check box ${tick% *} is not $([ "${tick#* }" = 1 ] && echo ticked || echo clear): $(cat "$scratch/probe")"
  done
  grep -q '^selected " [0-9]* x [0-9]*' "$scratch/probe" || fail "no resolution selected: $(cat "$scratch/probe")"
}

# Renumbers dialog resource 101 of the program $1 to 102: the program then
# asks Windows for a dialog it does not have.
hide_dialog_resource() {
  python3 - "$1" <<'PYTHON' || fail "the dialog resource of $1 could not be renumbered"
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
pe = struct.unpack_from('<I', data, 0x3C)[0]
sections, optional = struct.unpack_from('<H', data, pe + 6)[0], struct.unpack_from('<H', data, pe + 20)[0]
for i in range(sections):
    at = pe + 24 + optional + 40 * i
    if data[at:at + 8].rstrip(b'\0') == b'.rsrc':
        raw = struct.unpack_from('<I', data, at + 20)[0]
        break
else:
    sys.exit('no resource section')
def entries(offset):
    named, ids = struct.unpack_from('<HH', data, raw + offset + 12)
    return [raw + offset + 16 + 8 * k for k in range(named + ids)]
for kind in entries(0):
    if struct.unpack_from('<I', data, kind)[0] == 5:  # RT_DIALOG
        for entry in entries(struct.unpack_from('<I', data, kind + 4)[0] & 0x7FFFFFFF):
            if struct.unpack_from('<I', data, entry)[0] == 101:
                struct.pack_into('<I', data, entry, 102)
                open(sys.argv[1], 'wb').write(data)
                sys.exit(0)
sys.exit('no dialog 101')
PYTHON
}

# Frames of the Linux capture and of the Windows capture at the same show
# times and options: both draw on the same Mesa, so every channel of every
# pixel must be equal once the PNG files are decoded (the files themselves
# may be compressed differently).
compare_frames() { # folder of the Windows frames, then the capture options
  local wine_frames=$1
  shift
  "$native/show/quorlaxen-capture" --quiet "$@" -o "$scratch/linux/" >/dev/null || fail "the Linux capture failed"
  local count=0
  for linux_frame in "$scratch"/linux/*.png; do
    "$frame_diff" "$linux_frame" "$wine_frames/$(basename "$linux_frame")" exact >&2 ||
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
  # "Quit": exit code 0, and no show window at any time before the end.
  open_show SDL_AUDIODRIVER=dummy
  check_dialog
  click_control 2
  for _ in $(seq 300); do
    wait_window "$show_title" 0 >/dev/null && fail "\"Quit\" opened the show window"
    kill -0 "$show_pid" 2>/dev/null || break
    sleep 0.1
  done
  wait_exit "$show_pid" 5
  [ "$exit_code" = 0 ] || fail "exit code $exit_code after \"Quit\"; stderr: $(cat "$scratch/err")"
  # "Run ...", a middle click that records the capture text, and Escape ends
  # the show with it on the clipboard.
  start_show SDL_AUDIODRIVER=dummy "$message_trace"
  window=$(wait_after_dialog "$show_title") || fail "no show window; stderr: $(tail -n 20 "$scratch/err")"
  middle_click "$window"
  press "$window" Escape
  wait_exit "$show_pid" 60
  [ "$exit_code" = 0 ] || fail "exit code $exit_code after Escape; stderr: $(tail -n 20 "$scratch/err")"
  xclip -selection clipboard -o >"$scratch/clipboard" 2>&1 || fail "nothing on the clipboard: $(cat "$scratch/clipboard")"
  grep -q '^Cam :' "$scratch/clipboard" && grep -q '^Pnt :' "$scratch/clipboard" &&
    grep -q '^MCr :' "$scratch/clipboard" || fail "the clipboard holds: $(cat "$scratch/clipboard")"
  # With the clipboard held open by another program, the capture text is
  # shown in a box instead (a windowed program's output is seen by nobody).
  wine "$win/build/windows-dialog-probe.exe" hold-clipboard 120 >"$scratch/holder" 2>&1 &
  for _ in $(seq 100); do
    grep -q '^held' "$scratch/holder" && break
    sleep 0.2
  done
  grep -q '^held' "$scratch/holder" || fail "the clipboard could not be held: $(cat "$scratch/holder")"
  start_show SDL_AUDIODRIVER=dummy "$message_trace"
  window=$(wait_after_dialog "$show_title") || fail "no show window; stderr: $(tail -n 20 "$scratch/err")"
  middle_click "$window"
  press "$window" Escape
  expect_road "Quorlaxen - the clipboard would not take this text" 0 \
    "Quorlaxen - the clipboard would not take this text: Cam :"
  ;;
alt_f4)
  # Wine on Xvfb offers the screen's one mode alone, and a window of the
  # screen's size cannot have its whole client area below a caption; Wine's
  # own desktop offers the usual modes up to its size (1280 x 720 among
  # them), all of which fit on it with a frame.
  start_wine 2560x1600
  scale_display
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 &&
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 2560x1600 /f >/dev/null 2>&1 ||
    fail "Wine's desktop could not be set up"
  wineserver -k
  wineserver -w
  copy_show
  keep_clipboard
  echo "untouched" | xclip -selection clipboard -i >/dev/null 2>&1
  # In a window on a display scaled to 150 %: the window at (50, 50) with
  # the client area of the mode chosen, in the display's own pixels.
  open_show SDL_AUDIODRIVER=dummy "$message_trace"
  click_control 1012
  for _ in $(seq 60); do
    probe dialog "$dialog_caption" "$dialog_font" "$dialog_points" 5 >"$scratch/probe" 2>&1 || true
    grep -q '^control 1012 .* checked=1 ' "$scratch/probe" && break
    sleep 0.5
  done
  grep -q '^control 1012 .* checked=1 ' "$scratch/probe" || fail "\"Windowed\" did not tick: $(cat "$scratch/probe")"
  mode=$(sed -n 's/^selected " \([0-9]*\) x \([0-9]*\).*/\1 \2/p' "$scratch/probe")
  [ -n "$mode" ] || fail "no resolution selected: $(cat "$scratch/probe")"
  press "$dialog" Return
  window=$(wait_after_dialog "$show_title") || fail "no show window; stderr: $(tail -n 20 "$scratch/err")"
  grep -qF "$fallback_caption" "$scratch/err" && fail "a window was asked for, and full screen was offered"
  placed=$(probe window "$show_title" 30) || fail "the show window could not be probed"
  [ "$placed" = "window 50 50 client $mode dpi 144" ] ||
    fail "asked for a $mode window at (50, 50) at 144 dots per inch, got: $placed"
  # Alt+F4 after a middle click closes the window at once: no fade, and the
  # capture text that click recorded never reaches the clipboard.
  middle_click "$window"
  press "$window" alt+F4
  wait_exit "$show_pid" 30
  [ "$exit_code" = 0 ] || fail "exit code $exit_code after Alt+F4; stderr: $(tail -n 20 "$scratch/err")"
  [ "$(xclip -selection clipboard -o 2>/dev/null)" = untouched ] || fail "Alt+F4 changed the clipboard"
  ;;
no_music)
  start_wine
  copy_show
  rm "$show_dir"/music/*.mp3
  start_show SDL_AUDIODRIVER=dummy
  expect_road "Quorlaxen  " 0 "No sound file."
  ;;
no_texture)
  start_wine
  copy_show
  rm "$show_dir/textures/paper 1a.jpg"
  start_show SDL_AUDIODRIVER=dummy
  expect_road "Jpg" 0 "paper 1a.jpg"
  # A JPEG start marker and then nothing a decoder can use.
  printf '\377\330\377\340 broken' >"$show_dir/textures/paper 1a.jpg"
  start_show SDL_AUDIODRIVER=dummy
  expect_road "Jpg !" 0 "paper 1a.jpg"
  ;;
missing_file)
  start_wine
  copy_show
  # A dialog Windows cannot show (its resource renumbered in the program): a
  # box says so and names the defaults, and the show starts with them.
  cp "$show_dir/quorlaxen.exe" "$scratch/quorlaxen.exe"
  hide_dialog_resource "$show_dir/quorlaxen.exe"
  (cd "$scratch" && exec env SDL_AUDIODRIVER=dummy wine "$show_dir/quorlaxen.exe" >"$scratch/out" 2>"$scratch/err") &
  show_pid=$!
  box=$(wait_window "Quorlaxen" 90) || fail "no box for the missing dialog; stderr: $(tail -n 20 "$scratch/err")"
  press "$box" Return
  window=$(wait_after_dialog "$show_title") || fail "no show window; stderr: $(tail -n 20 "$scratch/err")"
  press "$window" Escape
  wait_exit "$show_pid" 60
  [ "$exit_code" = 0 ] || fail "exit code $exit_code after Escape; stderr: $(tail -n 20 "$scratch/err")"
  grep -qF "Quorlaxen: The settings dialog could not be shown (Windows error 1814)." "$scratch/err" ||
    fail "standard error lacks the dialog's failure: $(tail -n 20 "$scratch/err")"
  mv "$scratch/quorlaxen.exe" "$show_dir/quorlaxen.exe"
  mv "$show_dir/cgeffects/f_0" "$scratch/f_0"
  start_show SDL_AUDIODRIVER=dummy
  expect_road "  = Tarnwhisk. KVT 2007 = - File is missing !" 0 "f_0"
  mv "$scratch/f_0" "$show_dir/cgeffects/f_0"
  rm "$show_dir/meshes/objs/horn.obj"
  start_show SDL_AUDIODRIVER=dummy
  expect_road "  = Tarnwhisk. KVT 2007 = - File is missing !" 0 "horn.obj"
  ;;
no_device)
  start_wine
  copy_show
  # A driver without OpenGL 2.1 (as Windows's own OpenGL 1.1 is): Mesa is
  # told to offer 1.4.
  start_show SDL_AUDIODRIVER=dummy MESA_GL_VERSION_OVERRIDE=1.4
  expect_road "ERROR" 0 "The show needs OpenGL 2.1 with framebuffer objects; this graphics driver offers OpenGL 1.4"
  start_show
  expect_road "Quorlaxen  " 1 "Problem initializing FMod."
  ;;
any_folder)
  start_wine
  # A folder named in scripts outside the ANSI code page, with a space; the
  # programs are started from another folder.
  copy_show "Κβ ショー"
  start_show SDL_AUDIODRIVER=dummy
  window=$(wait_after_dialog "$show_title") || fail "no show window from \"$show_dir\"; stderr: $(cat "$scratch/err")"
  press "$window" Escape
  wait_exit "$show_pid" 60
  [ "$exit_code" = 0 ] || fail "exit code $exit_code after Escape; stderr: $(cat "$scratch/err")"
  (cd "$scratch" && wine "$show_dir/quorlaxen-capture.exe" --quiet --at 60 --size 320x180 -o wine/ >out 2>err) ||
    fail "the capture program failed in \"$show_dir\": $(cat "$scratch/err")"
  compare_frames "$scratch/wine" --at 60 --size 320x180
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
  # Both programs' manifests as the loader reads them: per-monitor DPI aware
  # (Windows neither stretches nor rescales them on a scaled display), and
  # run as the user who starts them.
  for program in quorlaxen.exe quorlaxen-capture.exe; do
    read_manifest=$(probe manifest "$folder/$program" 2>&1) || fail "$program: $read_manifest"
    [ "$read_manifest" = "$(printf '%s\n' 'dpiAware "true/pm"' 'dpiAwareness "PerMonitorV2, PerMonitor"' 'runlevel 1')" ] ||
      fail "$program's manifest reads: $read_manifest"
  done
  [ "$(ls "$scratch/unpacked")" = "$(basename "$folder")" ] || fail "the zip holds more than one folder"
  # One frame to one file, the form a person uses.
  mkdir "$scratch/wine"
  (cd "$scratch" && wine "$folder/quorlaxen-capture.exe" --quiet --at 60 --size 320x180 -o wine/show-060.000.png \
    >out 2>err) ||
    fail "the unpacked capture program failed: $(cat "$scratch/err")"
  compare_frames "$scratch/wine" --at 60 --size 320x180
  ;;
music_sync)
  # The music through the sound chain of a Windows desktop as Wine makes it:
  # SDL's WASAPI driver, Wine's PulseAudio driver, a null sink of this
  # test's own server whose monitor is recorded with the stream's clock. The
  # show logs each frame it shows on the performance counter; Wine's is
  # CLOCK_MONOTONIC_RAW, so the recording is stamped on that clock too. The
  # music must arrive whole and the picture be in step with it on average.
  recorder=$native/tests/monitor-record
  report=$native/tests/av-sync-report
  for f in "$recorder" "$report"; do
    [ -x "$f" ] || fail "build $f first (monitor-record needs libpulse-dev)"
  done
  command -v pulseaudio >/dev/null || fail "needs pulseaudio"
  seconds=${MUSIC_SYNC_SECONDS:-12}
  # A small screen: frames llvmpipe draws quickly leave Wine's sound
  # threads the processor time a graphics card would leave them.
  start_wine "${MUSIC_SYNC_SCREEN:-640x360}"
  copy_show
  "$source/tests/sound/pulse-server.sh" "$scratch/pulse" 2>"$scratch/pulse.log" &
  pulse_pid=$!
  sound_pids+=("$pulse_pid")
  for _ in $(seq 100); do
    [ -S "$scratch/pulse/pulse/native" ] && break
    sleep 0.1
  done
  [ -S "$scratch/pulse/pulse/native" ] || fail "the sound server did not start: $(tail -n 5 "$scratch/pulse.log")"
  export PULSE_SERVER=unix:$scratch/pulse/pulse/native
  value() { sed -n "s/^$1=//p" "$scratch/report"; }
  # Windows runs the threads that feed a sound device above a program's
  # drawing (SDL asks for time-critical ones, which Wine 8 does not apply),
  # and a desktop's sound server runs in real time. Here every sound thread
  # gets a real-time priority, the show's as soon as they are there (before
  # the music starts), Wine's server, the sound server and the recorder, so
  # that llvmpipe's threads and whatever else runs on this small machine
  # cannot starve them: starved, they tore the recording in most runs. Where
  # real-time priorities are refused, the case runs without them.
  real_time=
  if chrt -f 10 true 2>/dev/null; then
    real_time=1
  else
    echo "music_sync: real-time priorities are refused here (CAP_SYS_NICE); the sound threads keep theirs" >&2
  fi
  sound_first() {
    [ -n "$real_time" ] || return 0
    local pid task raised=0
    for pid in $(pgrep -x wineserver64) $(pgrep -x wineserver); do
      if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
        chrt -a -f -p 10 "$pid" >/dev/null || fail "Wine's server could not be given a real-time priority"
      fi
    done
    chrt -a -f -p 10 "$pulse_pid" >/dev/null && chrt -a -f -p 10 "$recorder_pid" >/dev/null ||
      fail "the sound server or the recorder could not be given a real-time priority"
    for _ in $(seq 600); do
      for task in /proc/"$show_pid"/task/*; do
        case $(cat "$task/comm" 2>/dev/null) in
        SDLAudio* | winepulse_* | wine_mmdevapi*)
          chrt -p "${task##*/}" 2>/dev/null | grep -q SCHED_FIFO ||
            { chrt -f -p 10 "${task##*/}" >/dev/null && raised=$((raised + 1)); }
          ;;
        esac
      done
      [ "$raised" = 4 ] && return 0
      kill -0 "$show_pid" 2>/dev/null || fail "the show ended while loading: $(tail -n 20 "$scratch/err")"
      sleep 0.1
    done
    fail "the show lacks its four sound threads after a minute: $(cat /proc/"$show_pid"/task/*/comm | tr '\n' ' ')"
  }
  # A recording torn all the same (the machine itself can stall) is tried
  # once more. Whatever our code gets wrong (a block lost or played twice,
  # the wrong position) shows in both.
  for attempt in 1 2; do
    "$recorder" nul.monitor "$scratch/monitor" raw >"$scratch/recorder.out" 2>"$scratch/recorder.err" &
    recorder_pid=$!
    sound_pids+=("$recorder_pid")
    for _ in $(seq 100); do
      grep -qs recording "$scratch/recorder.out" && break
      sleep 0.1
    done
    grep -qs recording "$scratch/recorder.out" || fail "the recorder did not start: $(cat "$scratch/recorder.err")"
    # Z: is the whole Linux file system in a Wine prefix.
    rm -f "$scratch/clock.txt" "$scratch/report"
    start_show "QUORLAXEN_SHOW_CLOCK=Z:$scratch/clock.txt"
    window=$(wait_after_dialog "$show_title") || fail "no show window; stderr: $(tail -n 20 "$scratch/err")"
    sound_first
    # From the first frame past the start, SECONDS of show.
    shown() { awk '$1 == "frame" && $4 > 0 {n++} END {exit !n}' "$scratch/clock.txt" 2>/dev/null; }
    for _ in $(seq 600); do
      shown && break
      kill -0 "$show_pid" 2>/dev/null || fail "the show ended before its first frame: $(tail -n 20 "$scratch/err")"
      sleep 0.2
    done
    shown || fail "no frame logged in 120 s"
    sleep "$seconds"
    press "$window" Escape
    wait_exit "$show_pid" 60
    [ "$exit_code" = 0 ] || fail "exit code $exit_code after Escape; stderr: $(tail -n 20 "$scratch/err")"
    kill "$recorder_pid"
    wait "$recorder_pid" || fail "the recorder failed: $(cat "$scratch/recorder.err")"
    # Which of the two versions played is chance: the show names it in its log.
    music=$(sed -n 's|^music music/*||p' "$scratch/clock.txt" | tail -n 1)
    [ -n "$music" ] && [ -f "$show_dir/music/$music" ] || fail "the show's log names no music file"
    # A recording torn in many places takes the report minutes (each torn
    # block is searched for a second either side).
    torn=
    timeout 30 "$report" "$scratch/monitor" "$scratch/clock.txt" "$show_dir/music/$music" 0 >"$scratch/report" 2>&1 ||
      torn="the recording could not be read against $music"
    # A jump (a block played twice or skipped) is the stand-in's fault; a
    # few blocks of silence are Wine's starved sound threads (bench/
    # av-sync-wine.sh measures those whole runs), more than 2 % is not.
    # What the recording holds after SECONDS of music is the show closing
    # its sound after Escape (a fresh-clone run's last 120 ms held a jump
    # and two blocks that were no music): faults from there are not judged.
    if [ -z "$torn" ] && awk -v f="$(value music_first_fault_s)" -v s="$seconds" 'BEGIN {exit !(f < s)}' &&
      { [ "$(value music_jumps)" != 0 ] ||
        awk -v l="$(value music_lost_blocks)" -v b="$(value music_blocks)" 'BEGIN {exit !(l > b / 50)}'; }; then
      torn="the music did not arrive whole"
    fi
    [ -z "${MUSIC_SYNC_REPORT:-}" ] || { echo "attempt=$attempt" && echo "music=$music" && cat "$scratch/report"; } >"$MUSIC_SYNC_REPORT"
    [ -z "${MUSIC_SYNC_KEEP:-}" ] ||
      cp "$scratch/clock.txt" "$scratch/monitor.raw" "$scratch/monitor.times" "$scratch/err" "$MUSIC_SYNC_KEEP/"
    [ -z "$torn" ] && break
    echo "attempt $attempt: $torn: $(tr '\n' ' ' <"$scratch/report")" >&2
  done
  [ -z "$torn" ] || fail "$torn: $(cat "$scratch/report")"
  # The version named: another recording reads under 0.9 ("not this
  # music"); a few gaps keep the right one a little under 1.
  awk -v p="$(value music_peak)" 'BEGIN {exit !(p > 0.99)}' || fail "the recording is not the music: $(cat "$scratch/report")"
  awk -v h="$(value music_heard_s)" -v s="$seconds" 'BEGIN {exit !(h > s - 1)}' ||
    fail "too little music heard: $(cat "$scratch/report")"
  awk -v n="$(value frames_with_music)" -v s="$seconds" 'BEGIN {exit !(n > s * 5)}' ||
    fail "too few frames with music heard: $(cat "$scratch/report")"
  # On average the picture within two frames (60 a second) of the music
  # heard, and the music position the show reads from 28 ms behind to 18 ms
  # ahead of the sample heard. With the device's latency left out it read 30
  # to 34 ms ahead. With it taken off, most runs read within 3 ms; a few
  # read 10 to 19 ms behind all through, as Wine's PulseAudio stream held
  # one or two 10 ms periods less than the latency Wine reports (the run's
  # start sets how much).
  awk -v m="$(value picture_mean_ms)" 'BEGIN {exit !(m < 33.3 && m > -33.3)}' ||
    fail "the picture is not in step with the music on average: $(cat "$scratch/report")"
  awk -v m="$(value position_mean_ms)" 'BEGIN {exit !(m < 18 && m > -28)}' ||
    fail "the music position read is off the sample heard on average: $(cat "$scratch/report")"
  ;;
*)
  fail "unknown case $what"
  ;;
esac
echo "ok: $what"
