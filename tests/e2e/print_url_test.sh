# --print-url against a live node inspector, and the launcher's failures.
BIN=$1
source "$(dirname "$0")/lib.sh"
REPO=$(cd "$(dirname "$0")/../.." && pwd)

start_node "$REPO/demo/demo.js"
# The three lines, nothing else, status 0.
check_print_url "$BIN"
target=$(node_ws_url)
target=${target#ws://}

# The override, with its placeholder twice.
VORBEK_INSPECTOR_FRONTEND='http://x/?a={ws}&b={ws}' timeout 20 "$BIN" "127.0.0.1:$NODE_PORT" --print-url >"$WORK/out"
grep -qxF "vorbek_inspector: devtools   = http://x/?a=$target&b=$target" "$WORK/out" || fail "override: $(cat "$WORK/out")"

# A closed pipe on stdout is a reported failure, not a silent death.
( sleep 0.3; st=0; timeout 20 "$BIN" --print-url "127.0.0.1:$NODE_PORT" 2>"$WORK/err" || st=$?
  echo "$st" >"$WORK/status" ) | true
[ "$(cat "$WORK/status")" = 1 ] || fail "closed stdout gave status $(cat "$WORK/status")"
grep -q '^Error: failed to write to standard output$' "$WORK/err" || fail "closed stdout: $(cat "$WORK/err")"
grep -q 'Broken pipe (os error 32)' "$WORK/err" || fail "closed stdout cause: $(cat "$WORK/err")"

# Usage.
status=0
timeout 20 "$BIN" --print-url >"$WORK/out" 2>"$WORK/err" || status=$?
[ "$status" = 1 ] && [ ! -s "$WORK/out" ] || fail "usage gave status $status"
[ "$(cat "$WORK/err")" = "Error: usage: vorbek_inspector [--print-url] <inspector-http-addr e.g. 127.0.0.1:9229>" ] \
  || fail "usage text: $(cat "$WORK/err")"

# Nothing listening: the report after the 5 s deadline, nothing on stdout.
port=$(free_port)
status=0
timeout 20 "$BIN" --print-url "127.0.0.1:$port" >"$WORK/out" 2>"$WORK/err" || status=$?
[ "$status" = 1 ] && [ ! -s "$WORK/out" ] || fail "unreachable gave status $status"
printf '%s\n' "Error: failed to read inspector targets from http://127.0.0.1:$port/json" "" "Caused by:" \
  "    0: connect to inspector at 127.0.0.1:$port" "    1: Connection refused (os error 111)" >"$WORK/expected"
diff -u "$WORK/expected" "$WORK/err" || fail "unreachable report differs"

# An argument that is not UTF-8 stops before discovery.
status=0
timeout 20 "$BIN" --print-url "127.0.0.1:$NODE_PORT" $'\xff' >"$WORK/out" 2>"$WORK/err" || status=$?
[ "$status" = 1 ] && [ ! -s "$WORK/out" ] || fail "non-UTF-8 argument gave status $status"
grep -qx 'Error: argument 3 is not valid UTF-8' "$WORK/err" || fail "non-UTF-8: $(cat "$WORK/err")"

echo "print_url_test: all passed"
