#!/usr/bin/env bash
# pulse-server.sh DIR: a PulseAudio server of the caller's own, run in the
# foreground as the caller's user: one null sink, "nul" (its monitor
# "nul.monitor" records what it plays), and the native protocol on the unix
# socket DIR/pulse/native, nothing else (no network, no D-Bus, no X11, no
# shared memory). DIR becomes its private runtime and home folder (0700);
# clients reach it only through PULSE_SERVER=unix:DIR/pulse/native, so no
# other process finds it. Ends on SIGTERM.
set -euo pipefail
dir=$1
mkdir -p "$dir/home"
chmod 700 "$dir" "$dir/home"
export XDG_RUNTIME_DIR=$dir HOME=$dir/home XDG_CONFIG_HOME=$dir/home
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS PULSE_SERVER
# --system=no: a per-user server even when the user is root (it warns).
exec pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes --system=no --use-pid-file=no \
  --log-target=stderr -L module-native-protocol-unix -L "module-null-sink sink_name=nul"
