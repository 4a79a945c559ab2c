#!/usr/bin/env bash
# The Windows build under Wine against a live Linux `node --inspect` on
# loopback (Wine's sockets are the host's): --print-url through a pipe and a
# file, and the failure reports, which must read as the Linux build's apart
# from the system's own error texts. The window's are in window_test.sh.
# Usage: print_url_test.sh WINE EXE NODE; WINEPREFIX comes from the fixture.
set -euo pipefail
WINE=$1 EXE=$2 NODE=$3
REPO=$(cd "$(dirname "$0")/../.." && pwd)
WORK=$(mktemp -d)
NODE_PID=
BACKGROUND=()
cleanup() {
  [ -n "$NODE_PID" ] && kill "$NODE_PID" 2>/dev/null
  for pid in "${BACKGROUND[@]}"; do kill "$pid" 2>/dev/null; done
  # This prefix's wineserver, which held the display.
  [ -n "${WINEPREFIX:-}" ] && "$(dirname "$WINE")/wineserver" -k 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "win64 print_url_test: $*" >&2; exit 1; }
run() { timeout 60 "$WINE" "$EXE" "$@"; }

PATH=$(dirname "$NODE"):$PATH
source "$REPO/scripts/node_inspect.sh"
start_inspected_node "$REPO/demo/demo.js" "$WORK/node.out" "$WORK/node.err" ||
  fail "node did not open its inspector: $(cat "$WORK/node.err")"
target=$("$NODE" -e '
  require("http").get(process.argv[1], r => { let b = ""; r.on("data", d => b += d);
    r.on("end", () => console.log(JSON.parse(b)[0].webSocketDebuggerUrl)); });' \
  "http://127.0.0.1:$NODE_PORT/json")
target=${target#ws://}
printf '%s\n' "vorbek_inspector: ws target  = $target" \
  "vorbek_inspector: devtools   = http://devtools.localhost/js_app.html?ws=$target&experiments=true&v8only=true" \
  "vorbek_inspector: (frontend is embedded; override with VORBEK_INSPECTOR_FRONTEND)" >"$WORK/lines"

# Through a file, then through a pipe: the same bytes (LF endings, UTF-8), status 0.
status=0
run --print-url "127.0.0.1:$NODE_PORT" >"$WORK/out" 2>"$WORK/err" || status=$?
[ "$status" = 0 ] || fail "to a file: status $status: $(cat "$WORK/err")"
cmp "$WORK/lines" "$WORK/out" || fail "to a file: $(od -c "$WORK/out" | head)"
[ ! -s "$WORK/err" ] || fail "to a file: stderr: $(cat "$WORK/err")"
set +e
run "127.0.0.1:$NODE_PORT" --print-url 2>"$WORK/err" | cat >"$WORK/out"
status=${PIPESTATUS[0]}
set -e
[ "$status" = 0 ] || fail "to a pipe: status $status: $(cat "$WORK/err")"
cmp "$WORK/lines" "$WORK/out" || fail "to a pipe: $(od -c "$WORK/out" | head)"

# Usage: one line on stderr, nothing on stdout.
status=0
run --print-url >"$WORK/out" 2>"$WORK/err" || status=$?
[ "$status" = 1 ] && [ ! -s "$WORK/out" ] || fail "usage gave status $status"
printf '%s\n' "Error: usage: vorbek_inspector [--print-url] <inspector-http-addr e.g. 127.0.0.1:9229>" \
  >"$WORK/expected"
cmp "$WORK/expected" "$WORK/err" || fail "usage text: $(cat "$WORK/err")"

# Nothing listening: after the 5 s deadline, the refused connection, which is
# Winsock's code 10061 here; only the system's text may differ from Linux.
port=$("$NODE" -e 'const s = require("net").createServer().listen(0, "127.0.0.1", () => {
  console.log(s.address().port); s.close(); });')
status=0
start=$(date +%s)
run --print-url "127.0.0.1:$port" >"$WORK/out" 2>"$WORK/err" || status=$?
elapsed=$(($(date +%s) - start))
[ "$status" = 1 ] && [ ! -s "$WORK/out" ] || fail "unreachable gave status $status"
[ "$elapsed" -ge 5 ] || fail "unreachable reported after ${elapsed}s, before the deadline"
sed -E '$s/^(    1: ).+( \(os error 10061\))$/\1TEXT\2/' "$WORK/err" >"$WORK/masked"
printf '%s\n' "Error: failed to read inspector targets from http://127.0.0.1:$port/json" "" "Caused by:" \
  "    0: connect to inspector at 127.0.0.1:$port" "    1: TEXT (os error 10061)" >"$WORK/expected"
diff -u "$WORK/expected" "$WORK/masked" || fail "unreachable report differs: $(cat "$WORK/err")"
grep -q '^    1: [^ ].* (os error 10061)$' "$WORK/err" || fail "no system text: $(cat "$WORK/err")"

echo "win64 print_url_test: all passed"
