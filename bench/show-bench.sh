#!/usr/bin/env bash
# The show benchmark: renders the whole show off-screen with quorlaxen-capture
# at a fixed step, 1280x720, once with 4 samples and once without
# multisampling, and reports per-frame render times (p50/p95/p99/max), the
# five slowest one-second windows of show time with their draw calls, the
# load time (process start to first frame, all data loaded) and peak memory.
# Each pass is read against the floor frame, measured in the same run: the
# same target cleared, resolved and presented with nothing drawn (what any
# frame costs at that size). A stage split of a few representative frames
# (processor time of target clear, backdrop, scene, glow clear, resolve,
# bend pass, present) shows where the time of each goes.
# Writes OUT/show-bench.txt, OUT/frames-4x.csv, OUT/frames-1x.csv,
# OUT/floor-4x.csv, OUT/floor-1x.csv, OUT/stages-4x.csv, OUT/stages-1x.csv
# and OUT/frame-times.png (needs gnuplot for the plot).
#
#   bench/show-bench.sh [BUILD_DIR]          (default: build)
#   BENCH_FPS=N        frames a second of show time (default 60, the capture's
#                      default; a lower rate samples the same show more thinly)
#   BENCH_FROM/BENCH_TO  show-time range (default the whole show)
#   BENCH_VIDEO=1      also time a capture to H.264 with music at 60 frames/s,
#                      of BENCH_VIDEO_FROM..BENCH_VIDEO_TO (default the range)
#   BENCH_OUT=DIR      (default docs/bench)
#   BENCH_ES3=DIR      an es3 build (-DQUORLAXEN_GL=es3) to measure beside this
#                      one: both captures, 4 samples, in alternating 30 s chunks
#                      of show time (OUT/frames-gl-4x.csv, OUT/frames-es3-4x.csv)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
capture="$build/show/quorlaxen-capture"
fps=${BENCH_FPS:-$("$root/scripts/show-fact.sh" default_fps)}
from=${BENCH_FROM:-0}
to=${BENCH_TO:-$("$root/scripts/show-fact.sh" show_end_time)}
out=${BENCH_OUT:-$root/docs/bench}
[ -x "$capture" ] || { echo "show-bench: build quorlaxen-capture first ($capture)" >&2; exit 1; }
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Draw calls per frame come from a small preloaded counter.
cc -O2 -shared -fPIC -o "$work/gl_count.so" "$root/bench/gl_count.c" -ldl

machine="$(uname -n), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores, \
$(awk '/MemTotal/ {printf "%.0f GB", $2/1048576}' /proc/meminfo)"
renderer=$(xvfb-run -a glxinfo -B 2>/dev/null | sed -n 's/^ *OpenGL renderer string: //p' | head -1 || true)
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

run() { # NAME ARGS...: one render-only pass, per-frame CSV and summary
    local name=$1
    shift
    echo "show-bench: $name pass, $from-$to s at $fps frames/s ..." >&2
    LD_PRELOAD="$work/gl_count.so" "$capture" --size 1280x720 --fps "$fps" --from "$from" --to "$to" \
        --quiet --stats "$out/frames-$name.csv" "$@" >"$work/summary-$name.txt"
}
run 4x
run 1x --no-aa

# The floor frame and the stage split need a capture program that has them
# (an older build, measured for comparison, may not).
staged=0
case "$("$capture" --help 2>&1 || true)" in *--floor*) staged=1 ;; esac
rm -f "$out"/floor-*.csv "$out"/stages-*.csv

# The floor frame: 10 s of frames with nothing drawn.
for pass in 4x 1x; do
    [ $staged = 1 ] || break
    echo "show-bench: floor frame, $pass ..." >&2
    "$capture" --size 1280x720 --fps 60 --from 0 --to 10 --quiet --floor --stats "$out/floor-$pass.csv" \
        $([ $pass = 1x ] && echo --no-aa) >/dev/null
done

# Where the time goes in representative frames (show time): a quiet frame,
# the title's doodles and dense field, a railway frame, the blue field, the
# razors, the finale's tracks; each with the two frames after it.
split_times=""
for t in 36 20 97 105 130 165 200 224; do
    split_times="$split_times --at $t --at $t.0166666667 --at $t.0333333333"
done
for pass in 4x 1x; do
    [ $staged = 1 ] || break
    echo "show-bench: stage split, $pass ..." >&2
    "$capture" --size 1280x720 --fps 60 $split_times --quiet --stages --stats "$out/stages-$pass.csv" \
        $([ $pass = 1x ] && echo --no-aa) >/dev/null
done

video_line="not measured (BENCH_VIDEO=1 measures it)"
if [ "${BENCH_VIDEO:-0}" = 1 ]; then
    echo "show-bench: capture to H.264 at 60 frames/s ..." >&2
    vfrom=${BENCH_VIDEO_FROM:-$from}
    vto=${BENCH_VIDEO_TO:-$to}
    start=$(date +%s.%N)
    "$capture" --size 1280x720 --fps 60 --from "$vfrom" --to "$vto" --quiet -o "$work/show.mp4" >/dev/null
    end=$(date +%s.%N)
    video_line=$(awk -v s="$start" -v e="$end" -v a="$vfrom" -v b="$vto" \
        'BEGIN { printf "%.1f s for show time %s-%s s (%.1f s): %.2f x its running time, start-up included", e - s, a, b, b - a, (e - s) / (b - a) }')
fi
# The drawing layer over GLES beside the driver's GL: chunks alternate, so
# the machine's drift falls on both alike.
es3_line=""
if [ -n "${BENCH_ES3:-}" ]; then
    es3_capture=$(cd "$BENCH_ES3" && pwd)/show/quorlaxen-capture
    [ -x "$es3_capture" ] || { echo "show-bench: no $es3_capture" >&2; exit 1; }
    rm -f "$out/frames-gl-4x.csv" "$out/frames-es3-4x.csv" "$work"/chunk-*
    chunk=0
    for start in $(awk -v a="$from" -v b="$to" 'BEGIN { for (t = a; t < b; t += 30) print t }'); do
        end=$(awk -v t="$start" -v b="$to" 'BEGIN { print (t + 30 < b ? t + 30 : b) }')
        for flavour in gl es3; do
            program=$capture
            [ $flavour = es3 ] && program=$es3_capture
            echo "show-bench: $flavour chunk $start-$end s ..." >&2
            "$program" --size 1280x720 --fps "$fps" --from "$start" --to "$end" --quiet \
                --stats "$work/chunk-$flavour-$chunk.csv" >"$work/chunk-$flavour-$chunk.txt"
            if [ ! -e "$out/frames-$flavour-4x.csv" ]; then
                cat "$work/chunk-$flavour-$chunk.csv" >"$out/frames-$flavour-4x.csv"
            else
                tail -n +2 "$work/chunk-$flavour-$chunk.csv" >>"$out/frames-$flavour-4x.csv"
            fi
        done
        chunk=$((chunk + 1))
    done
    es3_line=1
fi
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

python3 - "$out" "$work" "$machine" "$renderer" "$fps" "$from" "$to" "$load_before" "$load_after" "$video_line" "$es3_line" <<'EOF'
import csv, glob, sys
out, work, machine, renderer, fps, t0, t1, load_before, load_after, video, es3 = sys.argv[1:]

def summary(name):
    values = {}
    for line in open(f"{work}/summary-{name}.txt"):
        key, _, value = line.strip().partition("=")
        if value:
            values[key] = float(value)
    return values

def percentile(sorted_values, p):
    # Nearest rank.
    index = max(0, min(len(sorted_values) - 1, int(round(p / 100.0 * len(sorted_values) + 0.5)) - 1))
    return sorted_values[index]

lines = [
    f"Show benchmark: quorlaxen-capture, 1280x720, fixed step 1/{fps} s, show time {t0}-{t1} s",
    f"Machine: {machine}; renderer: {renderer or 'unknown'}",
    f"Load average before/after: {load_before} / {load_after} (1/5/15 min; above 2 the figures are disturbed)",
    "Frame ms = wall time of the frame driver's frame plus glFinish (no read-back, no encoding);",
    "CPU ms = processor time of the whole process over the same span (all renderer threads).",
    "",
]
for name, title in (("4x", "4 samples"), ("1x", "no multisampling")):
    rows = list(csv.DictReader(open(f"{out}/frames-{name}.csv")))
    ms = sorted(float(r["render_ms"]) for r in rows)
    try:
        floor = sorted(float(r["render_ms"]) for r in csv.DictReader(open(f"{out}/floor-{name}.csv")))
    except FileNotFoundError:
        floor = []
    s = summary(name)
    lines.append(f"{title}: {len(ms)} frames")
    lines.append("  frame ms  p50 {:.1f}  p95 {:.1f}  p99 {:.1f}  max {:.1f}  mean {:.1f}".format(
        percentile(ms, 50), percentile(ms, 95), percentile(ms, 99), ms[-1], sum(ms) / len(ms)))
    if floor:
        floor_p50 = percentile(floor, 50)
        lines.append("  floor frame ms  p50 {:.1f} (target clear, resolve and present alone); the show's p50 is {:.2f} x, "
                     "p99 {:.2f} x the floor".format(floor_p50, percentile(ms, 50) / floor_p50, percentile(ms, 99) / floor_p50))
    cpu = sorted(float(r["cpu_ms"]) for r in rows)
    lines.append("  CPU ms    p50 {:.1f}  p95 {:.1f}  p99 {:.1f}  max {:.1f}  mean {:.1f}".format(
        percentile(cpu, 50), percentile(cpu, 95), percentile(cpu, 99), cpu[-1], sum(cpu) / len(cpu)))
    lines.append("  load {:.2f} s from process start to first frame ({:.2f} s of it starting Xvfb; {:.2f} s of processor time)".format(
        s.get("load_s", 0), s.get("xvfb_s", 0), s.get("load_cpu_s", 0)))
    lines.append("  peak memory {:.0f} MB (resident, capture process; {:.0f} MB at the first frame)".format(
        s.get("peak_rss_mb", 0), float(rows[0]["rss_mb"])))
    lines.append("  whole pass {:.0f} s wall".format(s.get("wall_s", 0)))
    windows = {}
    for r in rows:
        windows.setdefault(int(float(r["show_time"])), []).append(r)
    def mean(rs, key):
        return sum(float(r[key]) for r in rs) / len(rs)
    slow = sorted(windows.items(), key=lambda kv: -mean(kv[1], "render_ms"))[:5]
    lines.append("  five slowest one-second windows (show time, scene time, mean/max frame ms, mean CPU ms, begin/end pairs, list calls):")
    for second, rs in slow:
        lines.append("    {:3d}-{:3d} s  scene {:6.1f}  {:6.1f} / {:6.1f} ms  cpu {:6.1f} ms  {:7.0f} begins  {:6.0f} lists".format(
            second, second + 1, float(rs[0]["scene_time"]), mean(rs, "render_ms"),
            max(float(r["render_ms"]) for r in rs), mean(rs, "cpu_ms"),
            mean(rs, "begins") if "begins" in rs[0] else 0, mean(rs, "lists") if "lists" in rs[0] else 0))
    lines.append("")
for name, title in (("4x", "4 samples"), ("1x", "no multisampling")):
    try:
        rows = list(csv.DictReader(open(f"{out}/stages-{name}.csv")))
    except FileNotFoundError:
        continue
    stages = [c for c in rows[0] if c.endswith("_ms") and c not in ("render_ms", "cpu_ms")]
    lines.append(f"Stage split, {title}: processor ms per stage, median of three frames (GL finished at each stage)")
    lines.append("  show t  " + " ".join("{:>8}".format(c[:-3].replace("_", " ")[:8]) for c in stages) + "    fixed    scene")
    groups = {}
    for r in rows:
        groups.setdefault(int(float(r["show_time"]) + 0.001), []).append(r)
    for t, g in groups.items():
        med = lambda c: sorted(float(r[c]) for r in g)[len(g) // 2]
        values = [med(c) for c in stages]
        fixed = sum(v for c, v in zip(stages, values) if c not in ("scene_ms",))
        lines.append("  {:6d}  ".format(t) + " ".join("{:8.1f}".format(v) for v in values) +
                     "  {:7.1f}  {:7.1f}".format(fixed, med("scene_ms")))
    lines.append("")
if es3:
    lines.append("OpenGL ES 3 layer beside the driver's GL, 4 samples, alternating 30 s chunks (each its own process):")
    lines.append("  flavour  frames  frame ms p50    p99   CPU ms p50   load s (first chunk)  peak MB")
    figures = {}
    for flavour in ("gl", "es3"):
        rows = list(csv.DictReader(open(f"{out}/frames-{flavour}-4x.csv")))
        ms = sorted(float(r["render_ms"]) for r in rows)
        cpu = sorted(float(r["cpu_ms"]) for r in rows)
        chunks = [dict(l.strip().partition("=")[::2] for l in open(f) if "=" in l)
                  for f in sorted(glob.glob(f"{work}/chunk-{flavour}-*.txt"))]
        first = next(c for c in chunks if c)
        peak = max(float(c.get("peak_rss_mb", 0)) for c in chunks)
        figures[flavour] = (percentile(ms, 50), percentile(ms, 99))
        lines.append("  {:7s}  {:6d}  {:13.1f}  {:6.1f}  {:11.1f}  {:20.2f}  {:7.0f}".format(
            flavour, len(ms), percentile(ms, 50), percentile(ms, 99), percentile(cpu, 50),
            float(first.get("load_s", 0)), peak))
    lines.append("  es3 / gl: frame p50 {:.2f} x, p99 {:.2f} x".format(
        figures["es3"][0] / figures["gl"][0], figures["es3"][1] / figures["gl"][1]))
    lines.append("")
lines.append(f"Capture to H.264 + music at 60 frames/s: {video}")
open(f"{out}/show-bench.txt", "w").write("\n".join(lines) + "\n")
print("\n".join(lines))
EOF

if command -v gnuplot >/dev/null; then
    gnuplot <<EOF
set terminal pngcairo size 1400,600 font "DejaVu Sans,10"
set output "$out/frame-times.png"
set title "Frame render time over show time, 1280x720, step 1/$fps s - $machine"
set xlabel "show time (s)"
set ylabel "ms per frame"
set datafile separator ","
set key top left
set grid
set arrow from graph 0, first 18 to graph 1, first 18 nohead dt 2 lc rgb "#30a030"
set arrow from graph 0, first 35 to graph 1, first 35 nohead dt 2 lc rgb "#808080"
set arrow from graph 0, first 70 to graph 1, first 70 nohead dt 2 lc rgb "#c04040"
set label "goal: median 18 ms, no multisampling" at graph 0.995, first 18 right offset 0,0.6 tc rgb "#30a030"
set label "goal: median 35 ms, 4 samples" at graph 0.995, first 35 right offset 0,0.6 tc rgb "#606060"
set label "goal: p99 70 ms, 4 samples" at graph 0.995, first 70 right offset 0,0.6 tc rgb "#c04040"
plot "$out/frames-4x.csv" using 2:4 every ::1 with lines lc rgb "#1060c0" title "4 samples, wall", \
     "$out/frames-1x.csv" using 2:4 every ::1 with lines lc rgb "#30a030" title "no multisampling, wall", \
     "$out/frames-4x.csv" using 2:5 every ::1 with lines dt 3 lc rgb "#1060c0" title "4 samples, CPU (all threads)"
EOF
else
    echo "show-bench: gnuplot missing, no plot" >&2
fi
echo "show-bench: results in $out" >&2
