# Set-up failures of the window and the web view, and --print-url leaving
# the web engine unmapped.
BIN=$1
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/xvfb.sh"
REPO=$(cd "$(dirname "$0")/../.." && pwd)

start_node "$REPO/demo/demo.js"
target=$(node_ws_url)
target=${target#ws://}
unset VORBEK_INSPECTOR_FRONTEND

# No display at all: the three lines, then the window report.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY timeout 30 "$BIN" "127.0.0.1:$NODE_PORT" \
  >"$WORK/out" 2>"$WORK/err" || status=$?
[ "$status" = 1 ] || fail "no display gave status $status"
expected_diagnostics "$target" >"$WORK/expected"
diff -u "$WORK/expected" "$WORK/out" || fail "no display: stdout differs"
printf '%s\n' "Error: failed to create inspector window" "" "Caused by:" \
  "    cannot open display: " >"$WORK/expected"
diff -u "$WORK/expected" "$WORK/err" || fail "no display: report differs"

# --print-url loads neither the toolkit nor the engine (LD_DEBUG lists every
# object opened).
LD_DEBUG=files timeout 30 "$BIN" --print-url "127.0.0.1:$NODE_PORT" >/dev/null 2>"$WORK/ld"
grep -q 'file=libstdc++' "$WORK/ld" || fail "LD_DEBUG gave no list of loaded objects"
! grep -q libgtk-3 "$WORK/ld" || fail "--print-url mapped the toolkit"
! grep -q libwebkit2gtk "$WORK/ld" || fail "--print-url mapped the web engine"

start_xvfb

# An empty override is no URL the engine can navigate to.
status=0
VORBEK_INSPECTOR_FRONTEND= LD_DEBUG=files timeout 30 "$BIN" "127.0.0.1:$NODE_PORT" \
  >"$WORK/out" 2>"$WORK/err" || status=$?
[ "$status" = 1 ] || fail "empty override gave status $status"
grep -q 'file=libwebkit2gtk-4.1.so.0' "$WORK/err" || fail "the web view was made without the engine"
grep -v '^ *[0-9]*:' "$WORK/err" >"$WORK/report"
printf '%s\n' "Error: failed to create webview (is the WebView2 runtime installed?)" "" "Caused by:" \
  >"$WORK/expected"
diff -u "$WORK/expected" <(head -n3 "$WORK/report") || fail "empty override: report differs"
# The rest is GLib's own (translated) text.
[ "$(wc -l <"$WORK/report")" = 4 ] && grep -q '^    cannot navigate to the frontend URL: ' "$WORK/report" ||
  fail "empty override: cause $(cat "$WORK/report")"
grep -qx 'vorbek_inspector: devtools   = ' "$WORK/out" || fail "empty override: stdout $(cat "$WORK/out")"

echo "window_failures_test: all passed"
