#!/usr/bin/env bash
# fuzz-campaign.sh FUZZ_BIN_DIR WORK CPU_SECONDS TARGET...
#
# Long fuzzing: one libFuzzer process per target, at the lowest priority, in
# sessions of at most 30 minutes of wall time, until the target has used
# CPU_SECONDS of processor time (user + system, counted from /proc while it
# runs and exactly from the shell's child times after each session).
# The working corpus is WORK/corpus/NAME (seeded from fuzz/corpus/NAME on the
# first run), findings go to WORK/findings/NAME/, libFuzzer's output to
# WORK/NAME.log and one line per session to WORK/NAME.sessions:
#   session  cpu_s_total  execs  cov_start  cov_end  exit_status
# While the file named by $FUZZ_PAUSE_FILE exists the fuzzers are stopped
# (SIGSTOP) and no session starts; they go on (SIGCONT) once it is gone.
set -uo pipefail
bin_dir=$1 work=$2 cpu_goal=$3
shift 3
root=$(cd "$(dirname "$0")/.." && pwd)
pause_file=${FUZZ_PAUSE_FILE:-}
poll=${FUZZ_POLL_SECONDS:-10}
ticks=$(getconf CLK_TCK)

paused() { [ -n "$pause_file" ] && [ -e "$pause_file" ]; }

# Processor seconds of a live process, or nothing once it has gone.
live_cpu() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || { echo 0; return; }
  stat=${stat##*) }
  # Fields after the name: state is 1st, utime 12th, stime 13th.
  set -- $stat
  echo $(((${12} + ${13}) / ticks))
}

# Children's user + system seconds so far into $child_cpu, from the shell's
# own accounting (`times` must run in this shell, not in a pipe's subshell).
children_cpu() {
  local file="$work/.times.$BASHPID"
  times >"$file"
  child_cpu=$(awk 'NR == 2 {
    n = split($0, f, " "); s = 0
    for (i = 1; i <= n; i++) { split(f[i], p, "m"); s += p[1] * 60 + p[2] }
    printf "%d\n", s }' "$file")
}

run_target() {
  local name=$1 binary="$bin_dir/fuzz_$1"
  local corpus="$work/corpus/$name" findings="$work/findings/$name"
  local log="$work/$name.log" sessions="$work/$name.sessions"
  mkdir -p "$corpus" "$findings"
  if [ -z "$(ls -A "$corpus")" ] && [ -d "$root/fuzz/corpus/$name" ]; then
    cp -r "$root/fuzz/corpus/$name/." "$corpus/"
  fi
  local session=0 before=0
  [ -f "$sessions" ] && session=$(wc -l <"$sessions") && before=$(tail -n1 "$sessions" | cut -d' ' -f2)
  while :; do
    children_cpu
    ((before + child_cpu >= cpu_goal)) && break
    while paused; do sleep "$poll"; done
    session=$((session + 1))
    local mark="=== session $session ($(date -Is)) ==="
    echo "$mark" >>"$log"
    nice -n 19 "$binary" -max_total_time=1800 -rss_limit_mb=1024 -timeout=10 -use_value_profile=1 \
      -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" >>"$log" 2>&1 &
    local pid=$! stopped=0
    while kill -0 "$pid" 2>/dev/null; do
      sleep "$poll"
      if paused; then
        ((stopped)) || { kill -STOP "$pid" 2>/dev/null; stopped=1; }
      elif ((stopped)); then
        kill -CONT "$pid" 2>/dev/null
        stopped=0
      fi
      children_cpu
      local now=$((child_cpu + $(live_cpu "$pid")))
      ((before + now >= cpu_goal)) && ! ((stopped)) && kill -INT "$pid" 2>/dev/null
    done
    wait "$pid"
    local status=$?
    local text
    text=$(sed -n "/^$mark\$/,\$p" "$log")
    local execs cov_start cov_end
    execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' <<<"$text" | awk '{print $2}' | tail -n1)
    cov_start=$(grep -m1 -o 'INITED cov: [0-9]*' <<<"$text" | awk '{print $3}')
    cov_end=$(grep -o ' cov: [0-9]*' <<<"$text" | tail -n1 | awk '{print $2}')
    children_cpu
    echo "$session $((before + child_cpu)) ${execs:-0} ${cov_start:-?} ${cov_end:-?} $status" >>"$sessions"
    # A target that keeps crashing at once needs a fix, not more sessions.
    (($(ls "$findings" | wc -l) > 20)) && break
  done
  rm -f "$work/.times.$BASHPID"
}

for name in "$@"; do
  run_target "$name" &
done
wait
