# The --print-url paths under valgrind's memcheck: a success against a live
# node inspector and a failure after discovery's deadline. Any memcheck error
# or definite leak fails.
#   bash tests/valgrind/print_url.sh path/to/vorbek_inspector
BIN=$1
source "$(dirname "$0")/../e2e/lib.sh"
REPO=$(cd "$(dirname "$0")/../.." && pwd)
unset VORBEK_INSPECTOR_FRONTEND

# Runs BIN under memcheck with its arguments; sets STATUS. Memcheck's own
# report goes to $WORK/valgrind, so stderr is the program's alone.
memcheck() {
  STATUS=0
  timeout 120 valgrind -q --error-exitcode="$ERROR_EXIT" --leak-check=full \
    --errors-for-leak-kinds=definite --show-leak-kinds=definite --log-file="$WORK/valgrind" \
    "$BIN" "$@" >"$WORK/out" 2>"$WORK/err" || STATUS=$?
  [ ! -s "$WORK/valgrind" ] || fail "memcheck on $*: $(cat "$WORK/valgrind")"
}

start_node "$REPO/demo/demo.js"
target=$(node_ws_url)
target=${target#ws://}

ERROR_EXIT=1
memcheck --print-url "127.0.0.1:$NODE_PORT"
[ "$STATUS" = 0 ] || fail "success path: status $STATUS: $(cat "$WORK/err")"
grep -qxF "vorbek_inspector: ws target  = $target" "$WORK/out" || fail "success path: $(cat "$WORK/out")"

# The program's own failure status is 1, so memcheck's must differ here.
ERROR_EXIT=99
port=$(free_port)
memcheck --print-url "127.0.0.1:$port"
[ "$STATUS" = 1 ] || fail "failure path: status $STATUS"
grep -qx "Error: failed to read inspector targets from http://127.0.0.1:$port/json" "$WORK/err" ||
  fail "failure path: $(cat "$WORK/err")"
[ ! -s "$WORK/out" ] || fail "failure path wrote to stdout"

echo "valgrind print_url: all passed"
