#!/usr/bin/env bash
# Builds everything, starts the demo script under `node --inspect` on a free
# loopback port and opens the inspector window on it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target vorbek_inspector

log=$(mktemp)
node --inspect=127.0.0.1:0 demo/demo.js 2>"$log" &
node_pid=$!
trap 'kill $node_pid 2>/dev/null; rm -f "$log"' EXIT
for _ in $(seq 100); do
  port=$(grep -m1 -o 'ws://127\.0\.0\.1:[0-9]*' "$log" | sed 's/.*://') && [ -n "$port" ] && break
  sleep 0.1
done
[ -n "${port:-}" ] || { cat "$log" >&2; exit 1; }
build/inspector/vorbek_inspector "127.0.0.1:$port" "$@"
