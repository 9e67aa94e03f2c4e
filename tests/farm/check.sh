#!/usr/bin/env bash
# The render farm and the capture without an X server, on this machine alone:
# GNU parallel with local workers and over an sshd of the test's own on
# 127.0.0.1, a one-node Slurm cluster of the test's own (munged, slurmctld,
# slurmd on localhost), resume and failure, refusals of bad input, and EGL
# frames against Xvfb frames. Every server is started here with a
# configuration written into a temporary folder and stopped however the test
# ends.
# Usage: check.sh egl|local|ssh|slurm|resume|failure|bad_input BUILD_DIR
set -euo pipefail
what=$1
build=$(cd "$2" && pwd)
show=$build/show
farm=$show/quorlaxen-farm
capture=$show/quorlaxen-capture
tmp=$(mktemp -d)
chmod 755 "$tmp"
stops=() # commands that stop what the test started, run at the end, last first
finish() {
  local i
  for ((i = ${#stops[@]} - 1; i >= 0; i--)); do eval "${stops[i]}" || true; done
  rm -rf "$tmp"
}
trap finish EXIT
trap 'exit 130' INT TERM
# GNU parallel keeps its state under HOME.
export HOME=$tmp/home
mkdir -p "$HOME"
# Small frames, short ranges: every case is quick on two cores.
small=(--size 320x180 --fps 20)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Ends the daemon whose pid file is given and waits until it has gone (a
# zombie counts as gone), killing it outright after 10 s.
stop_daemon() {
  [ -f "$1" ] || return 0
  local pid tries
  pid=$(cat "$1")
  kill "$pid" 2>/dev/null || return 0
  for tries in $(seq 100); do
    [ -d "/proc/$pid" ] && [ "$(awk '{ print $3 }' "/proc/$pid/stat" 2>/dev/null)" != Z ] || return 0
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
}

[ -x "$farm" ] && [ -x "$capture" ] || fail "no quorlaxen-farm and quorlaxen-capture in $show"
[ -d "$show/music" ] && [ -d "$show/meshes" ] || fail "forge the data first (build the show folder)"

# The decoded frames of a video or of a folder of frame-NNNNNN.png files, as
# one checksum of their RGB bytes; every frame passed through as it is.
frames_sum() {
  local input=$1
  [ -d "$input" ] && input=$input/frame-%06d.png
  ffmpeg -v error -i "$input" -fps_mode passthrough -f rawvideo -pix_fmt rgb24 - | md5sum | cut -d' ' -f1
}

video_frames() {
  ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$1"
}

# The one-process PNG frames of a range, for comparison.
reference_frames() { # FROM TO DIR
  "$capture" --quiet "${small[@]}" --from "$1" --to "$2" -o "$3/" >/dev/null || fail "the one-process capture failed"
}

# A joined video plays through: FRAMES video frames whose times are frame
# k at k/FPS (no gap, no repeat), a key frame at each chunk's first frame
# (KEYS: frame numbers), and the music over the same length.
check_plays_through() { # FILE FRAMES FPS KEYS...
  local file=$1 frames=$2 fps=$3
  shift 3
  [ "$(video_frames "$file")" = "$frames" ] || fail "$file has $(video_frames "$file") frames, not $frames"
  ffprobe -v error -select_streams v:0 -show_entries packet=pts_time,flags -of csv=p=0 "$file" |
    sort -t, -k1,1g | awk -F, -v fps="$fps" -v keys="$*" '
      BEGIN { n = split(keys, k, " "); for (i = 1; i <= n; i++) key[k[i]] = 1 }
      { d = $1 - (NR - 1) / fps; if (d > 1e-4 || d < -1e-4) { print "frame " NR - 1 " at " $1 " s"; bad = 1 }
        if ((NR - 1) in key && $2 !~ /K/) { print "frame " NR - 1 " (a chunk start) is not a key frame"; bad = 1 } }
      END { exit bad }' >"$tmp/times.txt" || fail "$file: $(head -n 3 "$tmp/times.txt")"
  local audio # where the last packet of music ends
  audio=$(ffprobe -v error -select_streams a:0 -show_entries packet=pts_time,duration_time -of csv=p=0 "$file" |
    awk -F, '{ end = $1 + $2 } END { print end + 0 }')
  awk -v a="$audio" -v l="$(awk -v f="$frames" -v r="$fps" 'BEGIN { print f / r }')" \
    'BEGIN { exit !(a > l - 0.05 && a < l + 0.05) }' || fail "$file: music of $audio s, not $frames frames' length"
}

# A free TCP port on the loopback: one nothing answers on.
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 30000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || {
      echo "$port"
      return
    }
  done
}

# An sshd of the test's own on 127.0.0.1 that lets in a key made here;
# sets ssh_command to the ssh that reaches it.
start_sshd() {
  local dir=$tmp/sshd port
  mkdir -p "$dir"
  chmod 700 "$dir"
  ssh-keygen -q -t ed25519 -N '' -f "$dir/host_key"
  ssh-keygen -q -t ed25519 -N '' -f "$dir/user_key"
  cp "$dir/user_key.pub" "$dir/authorized_keys"
  port=$(free_port)
  cat >"$dir/sshd_config" <<EOF
ListenAddress 127.0.0.1
Port $port
HostKey $dir/host_key
AuthorizedKeysFile $dir/authorized_keys
PidFile $dir/sshd.pid
StrictModes no
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
EOF
  # sshd insists on its privilege separation folder.
  if [ ! -d /run/sshd ]; then
    mkdir -p /run/sshd
    stops+=("rmdir /run/sshd")
  fi
  stops+=("stop_daemon $dir/sshd.pid")
  /usr/sbin/sshd -f "$dir/sshd_config" -E "$dir/sshd.log" || fail "sshd did not start: $(tail -n 1 "$dir/sshd.log")"
  ssh_command="ssh -p $port -i $dir/user_key -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o BatchMode=yes -o LogLevel=ERROR"
  local tries
  for tries in $(seq 50); do
    $ssh_command 127.0.0.1 true 2>/dev/null && return
    sleep 0.1
  done
  fail "cannot log in to the test's sshd: $(tail -n 1 "$dir/sshd.log")"
}

# A one-node Slurm cluster of the test's own: munged with a fresh key,
# slurmctld and slurmd on localhost with private ports, all state in one
# folder; SLURM_CONF points the client commands at it.
start_slurm() {
  local dir=$tmp/slurm
  mkdir -p "$dir/state" "$dir/spool"
  chmod 700 "$dir"
  head -c 1024 /dev/urandom >"$dir/munge.key"
  chmod 400 "$dir/munge.key"
  stops+=("stop_daemon $dir/munged.pid")
  munged --key-file="$dir/munge.key" --socket="$dir/munge.socket" --pid-file="$dir/munged.pid" \
    --log-file="$dir/munged.log" --seed-file="$dir/munge.seed" --force || fail "munged did not start"
  cat >"$dir/slurm.conf" <<EOF
ClusterName=farmtest
SlurmctldHost=localhost
SlurmUser=root
SlurmdUser=root
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
AuthType=auth/munge
AuthInfo=socket=$dir/munge.socket
CredType=cred/munge
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
SelectType=select/cons_tres
ReturnToService=2
MpiDefault=none
NodeName=localhost CPUs=2 RealMemory=4000 State=UNKNOWN
PartitionName=farm Nodes=localhost Default=YES MaxTime=INFINITE State=UP
EOF
  export SLURM_CONF=$dir/slurm.conf
  stops+=("stop_daemon $dir/slurmctld.pid" "stop_daemon $dir/slurmd.pid")
  slurmctld -f "$SLURM_CONF" || fail "slurmctld did not start: $(tail -n 2 "$dir/slurmctld.log")"
  slurmd -f "$SLURM_CONF" -N localhost || fail "slurmd did not start: $(tail -n 2 "$dir/slurmd.log")"
  local tries
  for tries in $(seq 100); do
    [ "$(sinfo -h -o %t 2>/dev/null)" = idle ] && return
    sleep 0.2
  done
  fail "the Slurm node did not come up: $(tail -n 2 "$dir/slurmctld.log")"
}

case $what in
egl)
  # No display and no Xvfb anywhere on PATH: the frame comes through EGL,
  # byte for byte the frame drawn on Xvfb.
  mkdir -p "$tmp/egl" "$tmp/xvfb" "$tmp/none"
  times=(--at 12 --at 60 --at 100 --at 242)
  env -u DISPLAY PATH=/nonexistent "$capture" --quiet --gl egl --size 320x180 "${times[@]}" \
    --stats "$tmp/egl.csv" -o "$tmp/egl/" >"$tmp/egl.txt" || fail "the capture through EGL failed"
  grep -qx 'egl=1' "$tmp/egl.txt" || fail "the capture did not say it drew through EGL"
  "$capture" --quiet --gl xvfb --size 320x180 "${times[@]}" -o "$tmp/xvfb/" >/dev/null || fail "the capture on Xvfb failed"
  for f in "$tmp/xvfb"/*.png; do
    cmp -s "$f" "$tmp/egl/$(basename "$f")" || fail "$(basename "$f") through EGL differs from the Xvfb frame"
  done
  # Without multisampling too.
  env -u DISPLAY PATH=/nonexistent "$capture" --quiet --gl egl --no-aa --size 320x180 --at 84.5 -o "$tmp/egl-1x.png" >/dev/null
  "$capture" --quiet --gl xvfb --no-aa --size 320x180 --at 84.5 -o "$tmp/xvfb-1x.png" >/dev/null
  cmp -s "$tmp/egl-1x.png" "$tmp/xvfb-1x.png" || fail "the frame without multisampling differs between EGL and Xvfb"
  # EGL with no vendor library: forced, one line and nothing written;
  # left to choose, the capture falls back to Xvfb and draws the same frame.
  export __EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json
  if "$capture" --quiet --gl egl --size 320x180 --at 60 -o "$tmp/none/frame.png" 2>"$tmp/err.txt"; then
    fail "--gl egl without an EGL vendor succeeded"
  fi
  [ "$(wc -l <"$tmp/err.txt")" = 1 ] && grep -q 'egl' "$tmp/err.txt" || fail "not one line: $(cat "$tmp/err.txt")"
  [ -z "$(ls -A "$tmp/none")" ] || fail "a refused capture left $(ls -A "$tmp/none")"
  "$capture" --quiet --size 320x180 --at 60 -o "$tmp/fallback.png" >/dev/null || fail "no fallback to Xvfb"
  cmp -s "$tmp/fallback.png" "$tmp/egl/show-060.000.png" || fail "the fallback frame differs"
  ;;

local)
  # Two local workers, lossless: the joined video's frames are the
  # one-process frames, and the music runs over the whole range.
  "$farm" plan --chunks 3 "${small[@]}" --from 30 --to 33 --lossless -o "$tmp/out.mkv" "$tmp/work" >/dev/null
  "$farm" run --jobs 2 "$tmp/work" >"$tmp/run.txt" 2>"$tmp/run.err" || fail "run failed: $(tail -n 3 "$tmp/run.err")"
  [ "$(cat "$tmp/run.txt")" = "$tmp/out.mkv" ] || fail "run printed '$(cat "$tmp/run.txt")', not the output's path"
  grep -q 'chunks 3/3 done' "$tmp/run.err" || fail "no progress line: $(cat "$tmp/run.err")"
  check_plays_through "$tmp/out.mkv" 60 20
  reference_frames 30 33 "$tmp/reference"
  [ "$(frames_sum "$tmp/out.mkv")" = "$(frames_sum "$tmp/reference")" ] ||
    fail "the joined frames differ from the one-process frames"
  # Two jobs ran at once.
  awk -F'\t' 'NR > 1 { s[NR] = $3; e[NR] = $3 + $4 } END { for (i in s) for (j in s) if (i != j && s[j] >= s[i] && s[j] < e[i]) exit 0; exit 1 }' \
    "$tmp/work/logs/joblog" || fail "the chunks ran one after another"
  ;;

ssh)
  # Chunks rendered through ssh logins to an sshd on 127.0.0.1 and brought
  # back; the default H.264 chunks join into a video that plays through.
  # Two captures at a time on the host (N/host in the login file).
  start_sshd
  echo 2/127.0.0.1 >"$tmp/hosts"
  "$farm" plan --chunks 3 "${small[@]}" --from 100 --to 103 -o "$tmp/out.mp4" "$tmp/work" >/dev/null
  "$farm" run --hosts "$tmp/hosts" --ssh "$ssh_command" "$tmp/work" >/dev/null 2>"$tmp/run.err" ||
    fail "run over ssh failed: $(tail -n 3 "$tmp/run.err")"
  cut -f2 "$tmp/work/logs/joblog" | grep -qx 127.0.0.1 || fail "no job ran on the ssh login"
  awk -F'\t' 'NR > 1 { s[NR] = $3; e[NR] = $3 + $4 } END { for (i in s) for (j in s) if (i != j && s[j] >= s[i] && s[j] < e[i]) exit 0; exit 1 }' \
    "$tmp/work/logs/joblog" || fail "the host ran its chunks one after another, not 2 at a time"
  check_plays_through "$tmp/out.mp4" 60 20 0 20 40
  ;;

slurm)
  # One array job for the chunks and a join that waits for it, on a
  # cluster of the test's own.
  start_slurm
  "$farm" plan --chunks 3 "${small[@]}" --from 150 --to 153 --lossless -o "$tmp/out.mkv" "$tmp/work" >/dev/null
  jobs=$("$farm" submit "$tmp/work" 2>"$tmp/submit.err") || fail "submit failed: $(cat "$tmp/submit.err")"
  read -r chunk_job join_job <<<"$jobs"
  [[ $chunk_job =~ ^[0-9]+$ && $join_job =~ ^[0-9]+$ ]] || fail "submit printed '$jobs'"
  scontrol show job "$join_job" | grep -q "Dependency=afterok:${chunk_job}" ||
    fail "the join does not wait for the chunks: $(scontrol show job "$join_job" | grep -o 'Dependency=[^ ]*')"
  for tries in $(seq 300); do
    [ -f "$tmp/out.mkv" ] && break
    sleep 0.2
  done
  [ -f "$tmp/out.mkv" ] || fail "no output from the join job: $(cat "$tmp/work/logs/join.log" 2>/dev/null)"
  [ "$(ls "$tmp/work/logs/"slurm-*.out | wc -l)" = 3 ] || fail "not three array tasks"
  check_plays_through "$tmp/out.mkv" 60 20
  reference_frames 150 153 "$tmp/reference"
  [ "$(frames_sum "$tmp/out.mkv")" = "$(frames_sum "$tmp/reference")" ] ||
    fail "the frames joined on Slurm differ from the one-process frames"
  # Submitted again with everything whole: the join alone.
  jobs=$("$farm" submit "$tmp/work" 2>/dev/null)
  [ "${jobs%% *}" = none ] || fail "a second submit rendered chunks again: $jobs"
  ;;

resume)
  # One chunk removed, one cut short: the next run renders those two alone
  # (the third is left untouched) and the result is the same.
  "$farm" plan --chunks 3 "${small[@]}" --from 200 --to 203 --lossless -o "$tmp/out.mkv" "$tmp/work" >/dev/null
  "$farm" run --jobs 2 "$tmp/work" >/dev/null 2>&1 || fail "the first run failed"
  before=$(frames_sum "$tmp/out.mkv")
  chunks=$tmp/work/chunks
  touch -d '2000-01-01' "$chunks/chunk-0002.mkv"
  stamp=$(stat -c %Y "$chunks/chunk-0002.mkv")
  rm "$chunks/chunk-0000.mkv"
  head -c 2000 "$chunks/chunk-0001.mkv" >"$tmp/cut" && mv "$tmp/cut" "$chunks/chunk-0001.mkv"
  rm "$tmp/out.mkv"
  "$farm" run --jobs 2 "$tmp/work" >/dev/null 2>"$tmp/run.err" || fail "the second run failed: $(cat "$tmp/run.err")"
  grep -q '2 of 3 chunks to render' "$tmp/run.err" || fail "not just the two chunks: $(head -n 1 "$tmp/run.err")"
  [ "$(stat -c %Y "$chunks/chunk-0002.mkv")" = "$stamp" ] || fail "the whole chunk was rendered again"
  [ "$(grep -c . "$tmp/work/logs/joblog")" = 3 ] || fail "the joblog lists other chunks than the two"
  [ "$(frames_sum "$tmp/out.mkv")" = "$before" ] || fail "the resumed result differs"
  [ "$("$farm" status "$tmp/work")" = "chunks 3/3 done"$'\n'"joined: $tmp/out.mkv" ] ||
    fail "status said: $("$farm" status "$tmp/work")"
  ;;

failure)
  "$farm" plan --chunks 3 "${small[@]}" --from 40 --to 42 -o "$tmp/out.mp4" "$tmp/work" >/dev/null
  commands=$tmp/work/commands
  cp "$commands" "$tmp/commands.good"
  # Chunk 1 fails on its first try only: the retry renders it.
  sed -i "2s|^|[ -e $tmp/tried ] \|\| { touch $tmp/tried; exit 3; }; |" "$commands"
  "$farm" run --jobs 2 "$tmp/work" >/dev/null 2>"$tmp/run.err" || fail "a chunk that failed once was not retried"
  check_plays_through "$tmp/out.mp4" 40 20 0 13 26
  # Chunk 1 fails every time: named with its range and log, no output.
  rm -f "$tmp/out.mp4" "$tmp/work/chunks/chunk-0001.mp4"
  cp "$tmp/commands.good" "$commands"
  sed -i "2s|^|echo try >>$tmp/tries; echo 'the renderer fell over' >\&2; exit 3; |" "$commands"
  if "$farm" run --jobs 2 "$tmp/work" >/dev/null 2>"$tmp/run.err"; then fail "a failing chunk was not reported"; fi
  grep -q "chunk 1 (show time 40.65 to 41.3 s) failed: the renderer fell over; log: $tmp/work/logs/chunk-0001.log" \
    "$tmp/run.err" || fail "the failed chunk is not named: $(cat "$tmp/run.err")"
  [ "$(wc -l <"$tmp/tries")" = 2 ] || fail "the failed chunk was tried $(wc -l <"$tmp/tries") times, not twice"
  # status: what is done, and the failed chunk with its log.
  "$farm" status "$tmp/work" >"$tmp/status.txt" 2>&1 || fail "status failed: $(cat "$tmp/status.txt")"
  grep -qx "chunks 2/3 done" "$tmp/status.txt" || fail "status said: $(cat "$tmp/status.txt")"
  grep -qxF "chunk 1 (show time 40.65 to 41.3 s) failed; log: $tmp/work/logs/chunk-0001.log" "$tmp/status.txt" ||
    fail "status does not name the failed chunk: $(cat "$tmp/status.txt")"
  [ ! -e "$tmp/out.mp4" ] || fail "an output was written with a chunk missing"
  # The join refuses and names the missing chunk.
  if "$farm" join "$tmp/work" >/dev/null 2>"$tmp/join.err"; then fail "the join ran with a chunk missing"; fi
  grep -q "chunk 1 (show time 40.65 to 41.3 s) is missing" "$tmp/join.err" || fail "join said: $(cat "$tmp/join.err")"
  [ -z "$(ls -A "$tmp" | grep -i 'out')" ] || fail "left $(ls -A "$tmp" | grep -i out)"
  ;;

bad_input)
  # Each: one line on standard error, a non-zero exit, no file under the
  # output's name (nor a temporary one).
  # Bad arguments exit with 2, a bad environment with 1.
  refused() { # WHAT EXIT-CODE EXPECTED-TEXT COMMAND...
    local what=$1 want=$2 text=$3 code=0
    shift 3
    "$@" >"$tmp/out.txt" 2>"$tmp/err.txt" || code=$?
    ((code != 0)) || fail "$what: accepted"
    ((code == want)) || fail "$what: exit code $code, not $want"
    [ "$(wc -l <"$tmp/err.txt")" = 1 ] || fail "$what: not one line: $(cat "$tmp/err.txt")"
    grep -qF -- "$text" "$tmp/err.txt" || fail "$what: said '$(cat "$tmp/err.txt")'"
    [ -z "$(ls -A "$tmp/out")" ] || fail "$what: left $(ls -A "$tmp/out")"
  }
  mkdir -p "$tmp/out"
  refused "--from off the grid" 2 "not on the frame grid" \
    "$farm" plan --chunks 2 "${small[@]}" --from 10.01 --to 11 -o "$tmp/out/o.mp4" "$tmp/out/w"
  refused "--to off the grid" 2 "not on the frame grid" \
    "$farm" plan --chunks 2 --fps 30 --from 10 --to 10.51 -o "$tmp/out/o.mp4" "$tmp/out/w"
  refused "more chunks than frames" 2 "more than the 20 frames" \
    "$farm" plan --chunks 21 "${small[@]}" --from 10 --to 11 -o "$tmp/out/o.mp4" "$tmp/out/w"
  refused "lossless into MP4" 2 "Matroska" \
    "$farm" plan --chunks 2 "${small[@]}" --from 10 --to 11 --lossless -o "$tmp/out/o.mp4" "$tmp/out/w"
  refused "no plan" 1 "holds no plan" "$farm" run "$tmp/out"

  "$farm" plan --chunks 2 "${small[@]}" --from 10 --to 11 -o "$tmp/out/o.mp4" "$tmp/work" >/dev/null
  refused "another plan in the folder" 1 "plan of another capture" \
    "$farm" plan --chunks 3 "${small[@]}" --from 10 --to 11 -o "$tmp/out/o.mp4" "$tmp/work"
  # PATH with every command of the system's folders but GNU parallel and
  # Slurm's sbatch.
  mkdir -p "$tmp/bin"
  for f in /usr/local/bin/* /usr/bin/* /bin/*; do
    case ${f##*/} in parallel | sbatch) continue ;; esac
    [ -e "$tmp/bin/${f##*/}" ] || ln -s "$f" "$tmp/bin/${f##*/}"
  done
  refused "no GNU parallel" 1 "GNU parallel is not installed" env PATH="$tmp/bin" "$farm" run "$tmp/work"
  refused "no sbatch" 1 "sbatch is not on PATH" env PATH="$tmp/bin" "$farm" submit "$tmp/work"
  # A host where nothing answers: refused before any chunk runs.
  echo 127.0.0.1 >"$tmp/hosts"
  refused "unreachable host" 1 "cannot be reached" "$farm" run --hosts "$tmp/hosts" \
    --ssh "ssh -p $(free_port) -o BatchMode=yes -o ConnectTimeout=5 -o StrictHostKeyChecking=no" "$tmp/work"
  [ -z "$(ls -A "$tmp/work/chunks")" ] || fail "chunks were rendered for an unreachable host"
  ;;

*)
  fail "unknown case $what"
  ;;
esac
echo "farm.$what: ok"
