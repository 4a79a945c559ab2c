#!/usr/bin/env bash
# The Windows build's window under Wine, which has no WebView2 runtime:
# without a display the window cannot be made; on one it opens, the web view
# fails with the WebView2 loader's own failure, and the window closes again.
# Usage: window_test.sh WINE EXE NODE; WINEPREFIX comes from the fixture.
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
fail() { echo "win64 window_test: $*" >&2; exit 1; }
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

# No display: the window itself cannot be made, as on Linux.
status=0
run "127.0.0.1:$NODE_PORT" >"$WORK/out" 2>"$WORK/err" || status=$?
[ "$status" = 1 ] || fail "no display gave status $status"
cmp "$WORK/lines" "$WORK/out" || fail "no display stdout: $(cat "$WORK/out")"
head -n4 "$WORK/err" | sed -E '4s/^    .+ \(os error [0-9]+\)$/    TEXT/' >"$WORK/masked"
printf '%s\n' "Error: failed to create inspector window" "" "Caused by:" "    TEXT" >"$WORK/expected"
cmp "$WORK/expected" "$WORK/masked" || fail "no display report: $(cat "$WORK/err")"

# On a display the window opens. No WebView2 runtime is installed here, so
# the loader finds none (ERROR_FILE_NOT_FOUND), the window closes again and
# the report gives the loader's failure as its one cause.
source "$REPO/tests/e2e/xvfb.sh"
start_xvfb
# Wine's desktop process was started without a display; a fresh one gets it.
"$(dirname "$WINE")/wineserver" -k 2>/dev/null || true
"$(dirname "$WINE")/wineserver" -w 2>/dev/null || true
status=0
run "127.0.0.1:$NODE_PORT" >"$WORK/out" 2>"$WORK/err" || status=$?
[ "$status" = 1 ] || fail "window gave status $status: $(cat "$WORK/err")"
cmp "$WORK/lines" "$WORK/out" || fail "window run stdout: $(cat "$WORK/out")"
sed -E '4s/^    [^ ].* \(os error 2\)$/    TEXT (os error 2)/' "$WORK/err" >"$WORK/masked"
printf '%s\n' "Error: failed to create webview (is the WebView2 runtime installed?)" "" "Caused by:" \
  "    TEXT (os error 2)" >"$WORK/expected"
diff -u "$WORK/expected" "$WORK/masked" || fail "window report: $(cat "$WORK/err")"

echo "win64 window_test: all passed"
