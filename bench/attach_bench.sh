#!/usr/bin/env bash
# Launch-to-attach time and memory: vorbek_inspector beside Chromium's app
# mode showing the same frontend files over loopback HTTP.
#
# Each run starts a fresh `node --inspect` on the demo script, starts the
# viewer and times launch -> node's "Debugger attached.". SETTLE seconds
# later it sums the resident memory (RSS, and PSS, which splits shared pages
# fairly) of the viewer and every process under it. One untimed warm-up run
# of each goes first; both keep their profile between runs. The two viewers
# take turns, so that a change in the machine's load hits both alike.
#
# Usage: bench/attach_bench.sh [path/to/vorbek_inspector] [runs]
# Needs Xvfb, node, python3 and chromium (apt-get install chromium).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$repo/build/inspector/vorbek_inspector}
runs=${2:-5}
settle=${SETTLE:-3}
frontend=${FRONTEND_DIR:-$repo/frontend/node_modules/chii/public/front_end}
for tool in Xvfb node python3 chromium; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done
[ -f "$frontend/js_app.html" ] || { echo "no js_app.html in $frontend (set FRONTEND_DIR)" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
pids+=("$!")
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"

(cd "$frontend" && exec python3 -m http.server 0 --bind 127.0.0.1) >"$work/http.out" 2>&1 &
pids+=("$!")
for _ in $(seq 100); do grep -q 'port [0-9]*' "$work/http.out" && break; sleep 0.1; done
http_port=$(grep -o 'port [0-9]*' "$work/http.out" | head -n1 | cut -d' ' -f2)

chromium_profile=$work/chromium-profile
mkdir -p "$chromium_profile"

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Every process under PID, PID included.
process_tree() {
  ps -e -o pid=,ppid= | awk -v root="$1" '
    { parent[$1] = $2 }
    END {
      for (p in parent) {
        for (q = p; q != "" && q != 0; q = parent[q]) if (q == root) { print p; break }
      }
    }'
}

# "RSS_MB PSS_MB" of every process under PID.
tree_memory() {
  local rss=0 pss=0 kb
  for pid in $(process_tree "$1"); do
    kb=$(awk '/^Rss:/ {r = $2} /^Pss:/ {p = $2} END {print r + 0, p + 0}' \
      "/proc/$pid/smaps_rollup" 2>/dev/null || echo "0 0")
    rss=$((rss + ${kb% *}))
    pss=$((pss + ${kb#* }))
  done
  echo "$((rss / 1024)) $((pss / 1024))"
}

source "$repo/scripts/node_inspect.sh"
start_node() {
  start_inspected_node "$repo/demo/demo.js" /dev/null "$work/node.err" ||
    { echo "node did not start" >&2; exit 1; }
  node_pid=$NODE_PID
  node_port=$NODE_PORT
}

stop() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# One run of VIEWER (vorbek or chromium); prints "ATTACH_MS RSS_MB PSS_MB".
run_once() {
  local viewer=$1 target start viewer_pid
  start_node
  if [ "$viewer" = chromium ]; then
    # Chromium cannot discover the target itself; it gets the address ready.
    target=$(node -e '
      require("http").get(process.argv[1], r => { let b = ""; r.on("data", d => b += d);
        r.on("end", () => console.log(JSON.parse(b)[0].webSocketDebuggerUrl.slice(5))); });' \
      "http://127.0.0.1:$node_port/json")
  fi
  start=$(now_ms)
  if [ "$viewer" = vorbek ]; then
    "$bin" "127.0.0.1:$node_port" >/dev/null 2>"$work/viewer.err" &
  else
    chromium --app="http://127.0.0.1:$http_port/js_app.html?ws=$target&experiments=true&v8only=true" \
      --no-sandbox --no-first-run --disable-background-networking --disable-component-update \
      --disable-sync --disable-gpu --user-data-dir="$chromium_profile" \
      >/dev/null 2>"$work/viewer.err" &
  fi
  viewer_pid=$!
  until grep -q 'Debugger attached' "$work/node.err"; do
    if ! kill -0 "$viewer_pid" 2>/dev/null; then
      echo "$viewer ended before attaching: $(tail -n3 "$work/viewer.err")" >&2
      exit 1
    fi
    if [ $(($(now_ms) - start)) -gt 60000 ]; then echo "$viewer: no attach in 60 s" >&2; exit 1; fi
    sleep 0.01
  done
  local attach=$(($(now_ms) - start))
  sleep "$settle"
  echo "$attach $(tree_memory "$viewer_pid")"
  stop "$viewer_pid"
  stop "$node_pid"
}

summary() {  # median of each column
  python3 -c '
import statistics, sys
rows = [list(map(float, line.split())) for line in sys.stdin if line.strip()]
print(" ".join("%.0f" % statistics.median(col) for col in zip(*rows)))'
}

echo "runs: $runs each after a warm-up, alternating; memory $settle s after attaching; $(uptime)"
for viewer in vorbek chromium; do
  run_once "$viewer" >/dev/null
  : >"$work/$viewer.runs"
done
for i in $(seq "$runs"); do
  for viewer in vorbek chromium; do
    line=$(run_once "$viewer")
    echo "$viewer run $i: attach ${line%% *} ms, RSS/PSS MB $(cut -d' ' -f2- <<<"$line")"
    echo "$line" >>"$work/$viewer.runs"
  done
done
echo "load after: $(uptime)"

read -r va vr vp < <(summary <"$work/vorbek.runs")
read -r ca cr cp < <(summary <"$work/chromium.runs")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo
printf '%-16s %10s %10s %10s\n' "median" "attach ms" "RSS MB" "PSS MB"
printf '%-16s %10s %10s %10s\n' vorbek_inspector "$va" "$vr" "$vp"
printf '%-16s %10s %10s %10s\n' "chromium --app" "$ca" "$cr" "$cp"
printf '%-16s %10s %10s %10s\n' "ratio" "$(ratio "$va" "$ca")" "$(ratio "$vr" "$cr")" "$(ratio "$vp" "$cp")"
