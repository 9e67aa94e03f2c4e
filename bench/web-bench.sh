#!/usr/bin/env bash
# The browser benchmark: the show's frame time in headless Chromium (WebGL 2
# through SwiftShader) against the native es3 capture's (OpenGL ES 3 over
# llvmpipe), same frame size, same run, and the page's load time over the
# loopback with the bytes a visitor downloads.
#
# Frames: the page cannot start at a chosen show time, so each browser chunk
# is a fresh page that plays the show from its start (Windowed, the size
# picked in the dialog, antialiased as preselected) until the chunk's end;
# its frames in [FROM, TO) count. The capture renders the same range, 4
# samples like the page, on a fixed grid of show time. Browser and capture
# chunks alternate (B C, C B, B C, ...) so the machine's drift falls on both.
# Each side is reported per frame as drawn and on the capture's grid (the
# browser frame on screen at each grid time): the browser draws fewer frames
# where frames are slow, so only the grid weighs show time alike on both.
#
# Load: fresh browsers (empty profile, nothing cached) open the page; the
# time from navigation start to the dialog, and from Enter to the first
# frame of the show, median of the runs; the bytes of every response, and
# the raw and gzip -9 sizes of what a visitor downloads.
#
# Writes OUT/web-bench.txt, OUT/web-frames-WxH.csv (every frame counted, both
# sides) and OUT/web-load.json.
#
#   bench/web-bench.sh [SITE_DIR] [ES3_BUILD_DIR]   (defaults build-web/site, build/es3)
#   WEB_BENCH_SIZES="1024x576 1280x720"  frame sizes (each must be in the dialog's list)
#   WEB_BENCH_CHUNKS=3 WEB_BENCH_CHUNK=20  chunks of show time, seconds each, from 0
#   WEB_BENCH_FPS=10   the capture's grid, frames a second of show time
#   WEB_BENCH_LOADS=5  page loads
#   WEB_BENCH_OUT=DIR  (default docs/bench)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
site=$(cd "${1:-$root/build-web/site}" && pwd)
es3=$(cd "${2:-$root/build/es3}" && pwd)
capture="$es3/show/quorlaxen-capture"
sizes=${WEB_BENCH_SIZES:-1024x576 1280x720}
chunks=${WEB_BENCH_CHUNKS:-3}
chunk_s=${WEB_BENCH_CHUNK:-20}
fps=${WEB_BENCH_FPS:-10}
loads=${WEB_BENCH_LOADS:-5}
show_end=$("$root/scripts/show-fact.sh" show_end_time)
out=${WEB_BENCH_OUT:-$root/docs/bench}
[ -x "$capture" ] || { echo "web-bench: build the es3 capture first ($capture)" >&2; exit 1; }
[ -f "$site/quorlaxen.wasm" ] || { echo "web-bench: build the site first (scripts/build-web.sh)" >&2; exit 1; }
[ -d "$root/build-web/test-tools/node_modules/puppeteer-core" ] || "$root/scripts/web-test-deps.sh"
mkdir -p "$out"
work=$(mktemp -d)
server=""
cleanup() {
    [ -z "$server" ] || kill "$server" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A copy of the site: a rebuild during the run cannot mix two builds.
cp -a "$site" "$work/site"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$root/scripts/serve-web.sh" "$port" "$work/site" >"$work/server.log" 2>&1 &
server=$!
url="http://127.0.0.1:$port/index.html"
for _ in $(seq 50); do
    curl -sf -o /dev/null "$url" && break
    sleep 0.1
done

machine="$(uname -n), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores, \
$(awk '/MemTotal/ {printf "%.0f GB", $2/1048576}' /proc/meminfo)"
browser=$("${QUORLAXEN_CHROMIUM:-/usr/bin/chromium-headless-shell}" --version 2>/dev/null | head -1 || true)
started=$(date -u '+%Y-%m-%d %H:%M UTC')
load() { cut -d' ' -f1 /proc/loadavg; }

# One line per chunk and side: size, chunk, side, from, to, load before, wall s.
: >"$work/chunks.txt"
side() { # SIDE SIZE CHUNK FROM TO
    local name=$1 size=$2 k=$3 a=$4 b=$5 before t0
    before=$(load)
    t0=$(date +%s.%N)
    echo "web-bench: $size chunk $k ($a-$b s): $name ..." >&2
    if [ "$name" = browser ]; then
        node "$root/bench/web-bench.mjs" frames "$url" "$size" "$a" "$b" "$work/browser-$size-$k.csv" \
            >"$work/browser-$size-$k.json"
    else
        "$capture" --gl egl --size "$size" --fps "$fps" --from "$a" --to "$b" --quiet \
            --stats "$work/es3-$size-$k.csv" >"$work/es3-$size-$k.txt"
    fi
    echo "$size $k $name $a $b $before $(awk -v s="$t0" -v e="$(date +%s.%N)" 'BEGIN { printf "%.1f", e - s }')" \
        >>"$work/chunks.txt"
}
for size in $sizes; do
    for k in $(seq 0 $((chunks - 1))); do
        a=$((k * chunk_s))
        b=$(awk -v b=$(((k + 1) * chunk_s)) -v e="$show_end" 'BEGIN { print (b < e ? b : e) }')
        if [ $((k % 2)) = 0 ]; then order="browser es3"; else order="es3 browser"; fi
        for s in $order; do side "$s" "$size" "$k" "$a" "$b"; done
    done
done

echo "web-bench: $loads page loads ..." >&2
load_before=$(load)
node "$root/bench/web-bench.mjs" load "$url" "$loads" "$out/web-load.json"
load_after=$(load)

python3 - "$out" "$work" "$machine" "$browser" "$fps" "$started" "$load_before" "$load_after" "$sizes" <<'EOF'
import csv, glob, gzip, json, os, statistics, sys, urllib.parse
out, work, machine, browser, fps, started, load_before, load_after, sizes = sys.argv[1:]
fps = float(fps)

def percentile(values, p):
    # Nearest rank, as bench/show-bench.sh.
    v = sorted(values)
    return v[max(0, min(len(v) - 1, int(round(p / 100.0 * len(v) + 0.5)) - 1))]

chunks = [line.split() for line in open(f"{work}/chunks.txt")]
lines = [
    f"Browser benchmark, {started}: headless Chromium + SwiftShader against quorlaxen-capture (es3) + llvmpipe",
    f"Machine: {machine}; browser: {browser or 'unknown'}",
    "Browser frame ms = interval between the starts of two consecutive animation-frame callbacks while the",
    "show runs (one frame drawn per callback; program, WebGL, SwiftShader in the GPU process, compositing);",
    "callback ms = the callback's own length on the page's thread. Capture frame ms = render_ms (frame",
    "driver's frame + glFinish). Both 4 samples; the page Windowed at the size, Force 16:9 as preselected",
    f"(a no-op at 16:9 sizes). Grid: the capture's {fps:g} frames/s of show time; the browser's figure at a",
    "grid time is the frame it had on screen then (its last frame drawn for a show time at or before it).",
    "",
    "Chunks, in the order run (size, chunk, side, show time, load average (1 min) before, wall s):",
]
for size, k, side, a, b, before, wall in chunks:
    lines.append(f"  {size:>9}  {k}  {side:7s}  {a:>3}-{b:<3} s  load {before:>5}  {wall:>6} s")
lines.append("")

for size in sizes.split():
    rows = []  # side, chunk, show_time, frame_ms, callback_ms
    grid_browser, grid_es3 = [], []
    per_chunk = []
    for k in sorted({int(c[1]) for c in chunks if c[0] == size}):
        a, b = next((float(c[3]), float(c[4])) for c in chunks if c[0] == size and int(c[1]) == k)
        br = [r for r in csv.DictReader(open(f"{work}/browser-{size}-{k}.csv")) if r["warm"] == "0"
              and a <= float(r["show_time"]) < b]
        es = list(csv.DictReader(open(f"{work}/es3-{size}-{k}.csv")))
        for r in br:
            rows.append(("browser", k, float(r["show_time"]), float(r["interval_ms"]), float(r["callback_ms"])))
        for r in es:
            rows.append(("es3", k, float(r["show_time"]), float(r["render_ms"]), ""))
        # The browser's frame on screen at each grid time.
        bt = [(float(r["show_time"]), float(r["interval_ms"])) for r in br]
        gb, ge = [], []
        for r in es:
            t = float(r["show_time"])
            before = [ms for s, ms in bt if s <= t + 1e-9]
            gb.append(before[-1] if before else bt[0][1])
            ge.append(float(r["render_ms"]))
        grid_browser += gb
        grid_es3 += ge
        per_chunk.append((k, a, b, len(br), len(es), percentile(gb, 50), percentile(ge, 50)))
    with open(f"{out}/web-frames-{size}.csv", "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(["side", "chunk", "show_time", "frame_ms", "callback_ms"])
        for r in rows:
            w.writerow([r[0], r[1], f"{r[2]:.6f}", f"{r[3]:.3f}", r[4] if r[4] == "" else f"{r[4]:.3f}"])
    b_ms = [r[3] for r in rows if r[0] == "browser"]
    b_cb = [r[4] for r in rows if r[0] == "browser"]
    e_ms = [r[3] for r in rows if r[0] == "es3"]
    lines.append(f"{size}, show time 0-{max(r[2] for r in rows):.0f} s:")
    lines.append("  side                     frames    p50 ms    p95 ms   mean ms")
    for name, v in (("browser, per frame", b_ms), ("browser, callback", b_cb), ("browser, on the grid", grid_browser),
                    ("es3 capture (the grid)", e_ms)):
        lines.append(f"  {name:24s} {len(v):6d}  {percentile(v, 50):8.1f}  {percentile(v, 95):8.1f}  {statistics.mean(v):8.1f}")
    lines.append("  browser / es3 on the grid: p50 {:.2f} x, p95 {:.2f} x, mean {:.2f} x; per frame as drawn: p50 {:.2f} x, p95 {:.2f} x".format(
        percentile(grid_browser, 50) / percentile(e_ms, 50), percentile(grid_browser, 95) / percentile(e_ms, 95),
        statistics.mean(grid_browser) / statistics.mean(e_ms),
        percentile(b_ms, 50) / percentile(e_ms, 50), percentile(b_ms, 95) / percentile(e_ms, 95)))
    # Processor time of the browser's processes over the counted spans.
    cpu, span_ms, span_frames = {}, 0.0, 0
    for k in sorted({int(c[1]) for c in chunks if c[0] == size}):
        info = json.loads(open(f"{work}/browser-{size}-{k}.json").read().strip().splitlines()[-1])
        span_ms += info["span_ms"]
        span_frames += info["span_frames"]
        for t, ms in info["cpu_ms"].items():
            cpu[t] = cpu.get(t, 0) + ms
    e_cpu = [float(r["cpu_ms"]) for k in sorted({int(c[1]) for c in chunks if c[0] == size})
             for r in csv.DictReader(open(f"{work}/es3-{size}-{k}.csv"))]
    if span_frames:
        other = sum(ms for t, ms in cpu.items() if t not in ("gpu-process", "renderer"))
        lines.append("  processor ms per frame (all threads), browser: GPU process {:.1f}, page (renderer) {:.1f}, others {:.1f}, "
                     "all {:.1f} in {:.1f} ms of wall ({} frames, {:.1f} s)".format(
                         cpu.get("gpu-process", 0) / span_frames, cpu.get("renderer", 0) / span_frames, other / span_frames,
                         sum(cpu.values()) / span_frames, span_ms / span_frames, span_frames, span_ms / 1000))
    lines.append("  processor ms per frame (all threads), es3 capture: mean {:.1f}, p50 {:.1f}, in {:.1f} ms of wall (mean)".format(
        statistics.mean(e_cpu), percentile(e_cpu, 50), statistics.mean(e_ms)))
    for k, a, b, nb, ne, pb, pe in per_chunk:
        lines.append(f"  chunk {k} ({a:g}-{b:g} s): browser {nb} frames, es3 {ne}; grid p50 {pb:.1f} / {pe:.1f} ms = {pb / pe:.2f} x")
    lines.append("")

runs = json.load(open(f"{out}/web-load.json"))
med = lambda key: statistics.median(r[key] for r in runs)
lines.append(f"Page load over the loopback, {len(runs)} fresh browsers (nothing cached), load average {load_before} before, {load_after} after:")
lines.append("  navigation start to the dialog:             median {:6.0f} ms  (runs: {})".format(
    med("dialog_ms"), ", ".join(f"{r['dialog_ms']:.0f}" for r in runs)))
lines.append("  Enter to data-state=\"loading\":              median {:6.0f} ms".format(med("loading_after_enter_ms")))
lines.append("  Enter to data-state=\"running\":              median {:6.0f} ms".format(med("running_after_enter_ms")))
lines.append("  Enter to the end of the first running frame: median {:6.0f} ms  (runs: {}; {})".format(
    med("first_frame_after_enter_ms"), ", ".join(f"{r['first_frame_after_enter_ms']:.0f}" for r in runs),
    runs[0]["settings"]["size"]))
lines.append("")
site = f"{work}/site"
lines.append("What a visitor downloads (music version 1; the server sends files as they are, so on the wire = raw + headers):")
lines.append("  file                              on the wire        raw     gzip -9   gzip/raw")
total = [0, 0, 0]
for r in runs[0]["responses"]:
    rel = urllib.parse.unquote(urllib.parse.urlparse(r["url"]).path).lstrip("/") or "index.html"
    data = open(os.path.join(site, rel), "rb").read()
    z = len(gzip.compress(data, 9))
    total = [total[0] + r.get("bytes", 0), total[1] + len(data), total[2] + z]
    lines.append(f"  {rel:32s} {r.get('bytes', 0):11,d}  {len(data):11,d}  {z:11,d}  {z / len(data):8.2f}")
lines.append(f"  {'all':32s} {total[0]:11,d}  {total[1]:11,d}  {total[2]:11,d}  {total[2] / total[1]:8.2f}")
open(f"{out}/web-bench.txt", "w").write("\n".join(lines) + "\n")
print("\n".join(lines))
EOF
echo "web-bench: results in $out" >&2
