#!/usr/bin/env bash
# Times `vorbek_inspector --print-url` against a live node inspector beside
# `curl -s http://ADDR/json`, and prints the ratio of their mean times.
# Usage: bench/print_url_bench.sh [path/to/vorbek_inspector]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$repo/build/inspector/vorbek_inspector}
for tool in hyperfine curl node; do
  command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install hyperfine curl)" >&2; exit 1; }
done

source "$repo/scripts/node_inspect.sh"
work=$(mktemp -d)
trap 'kill ${NODE_PID:-} 2>/dev/null; rm -rf "$work"' EXIT
start_inspected_node "$repo/demo/demo.js" /dev/null "$work/node.err" || { cat "$work/node.err" >&2; exit 1; }
addr=127.0.0.1:$NODE_PORT

hyperfine -N --warmup 5 --runs 100 --export-json "$work/result.json" \
  -n vorbek_inspector "$bin --print-url $addr" \
  -n curl "curl -s http://$addr/json"
node -e '
  const r = JSON.parse(require("fs").readFileSync(process.argv[1])).results;
  const ms = x => (x.mean * 1000).toFixed(2);
  console.log(`vorbek_inspector ${ms(r[0])} ms, curl ${ms(r[1])} ms, ratio ${(r[0].mean / r[1].mean).toFixed(2)}`);
' "$work/result.json"
