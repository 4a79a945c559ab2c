#!/usr/bin/env bash
# Interaction in the program's web view, for one or more builds: the time to
# scroll a 10000-line highlighted source to its end, half a screen a frame,
# and the frame rate while a 2D-canvas flame chart is panned
# (interaction_page.html, loaded through VORBEK_INSPECTOR_FRONTEND in the
# program's own web view with its own settings). The builds take turns;
# medians of RUNS runs each, under Xvfb's software rendering.
#
# Usage: bench/interaction_bench.sh [runs] [path/to/vorbek_inspector ...]
# Needs Xvfb, node and python3.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
shift || true
bins=("$@")
[ ${#bins[@]} -gt 0 ] || bins=("$repo/build/inspector/vorbek_inspector")
for tool in Xvfb node python3; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache \
  XDG_DATA_HOME=$work/home/.local/share
mkdir -p "$HOME"

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
pids+=("$!")
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"

mkdir "$work/www"
cp "$repo/bench/interaction_page.html" "$work/www/"
(cd "$work/www" && exec python3 -m http.server 0 --bind 127.0.0.1) >"$work/http.out" 2>&1 &
pids+=("$!")
for _ in $(seq 100); do grep -q 'port [0-9]*' "$work/http.out" && break; sleep 0.1; done
http_port=$(grep -o 'port [0-9]*' "$work/http.out" | head -n1 | cut -d' ' -f2)

source "$repo/scripts/node_inspect.sh"
start_inspected_node "$repo/demo/demo.js" /dev/null "$work/node.err" || { echo "node did not start" >&2; exit 1; }
pids+=("$NODE_PID")

# One run of BIN; prints the result's query ("scroll_ms=...&...").
run_once() {
  local bin=$1 viewer_pid seen
  seen=$(grep -c 'GET /result' "$work/http.out" || true)
  VORBEK_INSPECTOR_FRONTEND="http://127.0.0.1:$http_port/interaction_page.html" \
    "$bin" "127.0.0.1:$NODE_PORT" >/dev/null 2>"$work/viewer.err" &
  viewer_pid=$!
  for _ in $(seq 1200); do
    [ "$(grep -c 'GET /result' "$work/http.out" || true)" -gt "$seen" ] && break
    kill -0 "$viewer_pid" 2>/dev/null || { echo "$bin ended: $(tail -n3 "$work/viewer.err")" >&2; exit 1; }
    sleep 0.1
  done
  kill "$viewer_pid" 2>/dev/null || true
  wait "$viewer_pid" 2>/dev/null || true
  grep -o 'GET /result?[^ ]*' "$work/http.out" | tail -n1 | cut -d'?' -f2
}

echo "runs: $runs per build, alternating; $(uptime)"
for i in $(seq "$runs"); do
  for b in "${!bins[@]}"; do
    line=$(run_once "${bins[$b]}")
    echo "build $b run $i: $line"
    echo "$line" >>"$work/runs.$b"
  done
done
echo "load after: $(uptime)"
echo
for b in "${!bins[@]}"; do
  python3 - "${bins[$b]}" "$work/runs.$b" <<'PY'
import statistics, sys, urllib.parse
rows = [dict(urllib.parse.parse_qsl(line.strip())) for line in open(sys.argv[2]) if line.strip()]
med = {k: statistics.median(float(r[k]) for r in rows) for k in rows[0]}
print(f"{sys.argv[1]}: scroll to end {med['scroll_ms']:.0f} ms in {med['scroll_frames']:.0f} frames "
      f"(worst frame {med['scroll_worst_ms']:.0f} ms); flame chart {med['flame_fps']:.1f} fps "
      f"(worst frame {med['flame_worst_ms']:.0f} ms)")
PY
done
