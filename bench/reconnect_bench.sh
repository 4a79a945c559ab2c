#!/usr/bin/env bash
# After the script engine restarts: the user's Reconnect beside closing the
# window and starting vorbek_inspector again, in one run.
#
# `node --watch --inspect` runs a small script; before every measured run a
# save makes node restart on the same port with a new target. Then either
#   reconnect: F5 in the window (what the frontend's Reconnect button does),
#   relaunch:  the window closed (WM_DELETE_WINDOW) and the program started
#              again on the same address,
# each timed up to node's next "Debugger attached.". One untimed warm-up of
# each goes first; the two take turns, so that a change in the machine's load
# hits both alike. The goal: the reconnect takes at most half the relaunch.
#
# Usage: bench/reconnect_bench.sh [path/to/vorbek_inspector] [runs]
# Needs Xvfb, xdotool, node and python3.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
bin=$(readlink -f "${1:-$repo/build/inspector/vorbek_inspector}")
runs=${2:-7}
for tool in Xvfb xdotool node python3; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}" ${app_pid:-}; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}" ${app_pid:-}; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A profile of the bench's own, as the tests keep.
export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
pids+=("$!")
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"

now_ms() { echo $(($(date +%s%N) / 1000000)); }
count() { grep -c "$1" "$work/node.err" 2>/dev/null || true; }

# Waits until node's stderr holds more than N lines matching TEXT.
wait_count() {
  local text=$1 n=$2 start
  start=$(now_ms)
  until [ "$(count "$text")" -gt "$n" ]; do
    if [ $(($(now_ms) - start)) -gt 30000 ]; then
      echo "no '$text' from node in 30 s: $(tail -n3 "$work/node.err")" >&2
      exit 1
    fi
    sleep 0.005
  done
}

cd "$work"
printf 'setInterval(() => {}, 1000);\n// 0\n' >app.js
port=$(node -e 'const s = require("net").createServer().listen(0, "127.0.0.1", () => {
  console.log(s.address().port); s.close(); });')
node --watch --inspect="127.0.0.1:$port" app.js >/dev/null 2>"$work/node.err" &
pids+=("$!")
wait_count 'Debugger listening' 0

start_app() {
  "$bin" "127.0.0.1:$port" >/dev/null 2>"$work/app.err" &
  app_pid=$!
  window=
  for _ in $(seq 200); do
    window=$(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | head -n1 || true)
    [ -n "$window" ] && break
    sleep 0.05
  done
  [ -n "$window" ] || { echo "no window: $(cat "$work/app.err")" >&2; exit 1; }
}

saves=0
# A save; node restarts with a new target and the frontend loses it.
restart_node() {
  local listening
  listening=$(count 'Debugger listening')
  saves=$((saves + 1))
  printf 'setInterval(() => {}, 1000);\n// %s\n' "$saves" >app.js
  wait_count 'Debugger listening' "$listening"
  sleep 1  # the frontend has seen its connection close
}

start_app
wait_count 'Debugger attached' 0

# One run, in this shell (it may start the program anew); sets ELAPSED in ms.
run_once() {
  local how=$1 start n
  restart_node
  n=$(count 'Debugger attached')
  if [ "$how" = reconnect ]; then
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    start=$(now_ms)
    xdotool key F5
  else
    start=$(now_ms)
    python3 "$repo/tests/e2e/wm_delete.py" "$window"
    wait "$app_pid" || { echo "the window did not close with status 0" >&2; exit 1; }
    start_app
  fi
  wait_count 'Debugger attached' "$n"
  ELAPSED=$(($(now_ms) - start))
}

median() {
  python3 -c 'import statistics, sys; print("%.0f" % statistics.median(float(l) for l in sys.stdin))'
}

echo "runs: $runs each after a warm-up, alternating; $(uptime)"
for how in reconnect relaunch; do
  run_once "$how"
  : >"$work/$how.runs"
done
for i in $(seq "$runs"); do
  for how in reconnect relaunch; do
    run_once "$how"
    echo "$how run $i: $ELAPSED ms"
    echo "$ELAPSED" >>"$work/$how.runs"
  done
done
echo "load after: $(uptime)"

reconnect=$(median <"$work/reconnect.runs")
relaunch=$(median <"$work/relaunch.runs")
ratio=$(awk -v a="$reconnect" -v b="$relaunch" 'BEGIN { printf "%.2f", a / b }')
echo
printf '%-10s %8s\n' "median" "ms"
printf '%-10s %8s\n' reconnect "$reconnect" relaunch "$relaunch"
printf '%-10s %8s   (goal: at most 0.50)\n' ratio "$ratio"
