#!/usr/bin/env bash
# Builds everything, starts the demo script under `node --inspect` on a free
# loopback port and opens the inspector window on it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target vorbek_inspector

source scripts/node_inspect.sh
log=$(mktemp)
trap 'kill ${NODE_PID:-} 2>/dev/null; rm -f "$log"' EXIT
start_inspected_node demo/demo.js /dev/stdout "$log" || { cat "$log" >&2; exit 1; }
build/inspector/vorbek_inspector "127.0.0.1:$NODE_PORT" "$@"
