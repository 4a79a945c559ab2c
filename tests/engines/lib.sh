# Engine helpers for the matrix; source after tests/e2e/lib.sh and xvfb.sh.
ENGINES_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ENGINE_MODULES=$ENGINES_DIR/node_modules

engine_binary() {
  local path
  case $1 in
    node22|node24|node26) path=$ENGINE_MODULES/$1/bin/node ;;
    deno) path=$ENGINE_MODULES/@deno/linux-x64-glibc/deno ;;
    workerd) path=$ENGINE_MODULES/@cloudflare/workerd-linux-64/bin/workerd ;;
    tsc) path=$ENGINE_MODULES/.bin/tsc ;;
  esac
  [ -x "$path" ] || fail "$1 is not installed at $path (run scripts/setup.sh)"
  echo "$path"
}

engine_version() {
  case $1 in
    node*) "$(engine_binary "$1")" --version | sed 's/^v//' ;;
    deno) "$(engine_binary deno)" --version | awk 'NR == 1 {print $2}' ;;
    workerd) "$(engine_binary workerd)" --version | awk '{print $2}' ;;
  esac
}

# Waits up to 15 s for REGEX in FILE; prints the first match.
wait_for_match() {
  local file=$1 regex=$2 match
  for _ in $(seq 150); do
    match=$(grep -m1 -oE -- "$regex" "$file" 2>/dev/null || true)
    [ -n "$match" ] && { echo "$match"; return 0; }
    sleep 0.1
  done
  return 1
}

# Starts ENGINE_CMD (an array) with its output in $WORK/engine.out and
# $WORK/engine.err, then finds the inspector's port from the listening line
# node and Deno print: "Debugger listening on ws://HOST:PORT/...". Sets
# ENGINE_PID and ENGINE_PORT.
start_v8_engine() {
  local line
  "${ENGINE_CMD[@]}" >>"$WORK/engine.out" 2>"$WORK/engine.err" &
  ENGINE_PID=$!
  BACKGROUND+=("$ENGINE_PID")
  line=$(wait_for_match "$WORK/engine.err" 'Debugger listening on ws://[^ ]*:[0-9]+/') ||
    fail "no listening line from ${ENGINE_CMD[*]}: $(cat "$WORK/engine.err")"
  ENGINE_PORT=${line%/}
  ENGINE_PORT=${ENGINE_PORT##*:}
}

# workerd names no inspector port (it logs "Inspector is listening" with
# --verbose), so it gets a free one; its HTTP socket takes port 0 and is
# logged as "Listening on http://127.0.0.1:PORT". A poller sends it a request
# every 200 ms and prints each answer to $WORK/engine.out.
start_workerd() {
  local line http
  ENGINE_PORT=$(free_port)
  cp "$ENGINES_DIR/scripts/worker.js" "$ENGINES_DIR/scripts/worker.capnp" "$WORK/"
  (cd "$WORK" && exec "$(engine_binary workerd)" serve worker.capnp --verbose \
      --inspector-addr="127.0.0.1:$ENGINE_PORT") >"$WORK/workerd.out" 2>"$WORK/engine.err" &
  ENGINE_PID=$!
  BACKGROUND+=("$ENGINE_PID")
  wait_for_match "$WORK/engine.err" 'Inspector is listening' >/dev/null ||
    fail "workerd did not start its inspector: $(cat "$WORK/engine.err")"
  line=$(wait_for_match "$WORK/engine.err" 'Listening on http://127\.0\.0\.1:[0-9]+') ||
    fail "workerd did not open its HTTP socket: $(cat "$WORK/engine.err")"
  http=${line#Listening on }
  node "$ENGINES_DIR/scripts/poll.js" "$http/" >>"$WORK/engine.out" 2>"$WORK/poll.err" &
  BACKGROUND+=("$!")
}

# The engine's own /json at ADDR (host:port as the launcher gets it),
# element 0's webSocketDebuggerUrl.
engine_ws_url() {
  node -e '
    require("http").get("http://" + process.argv[1] + "/json", res => {
      let body = "";
      res.on("data", d => body += d);
      res.on("end", () => console.log(JSON.parse(body)[0].webSocketDebuggerUrl));
    });' "$1"
}

# --print-url against ADDR, compared with the engine's own /json.
check_print_url_at() {
  local addr=$1 target status=0
  target=$(engine_ws_url "$addr") || fail "no /json from $addr"
  target=${target#ws://}
  (cd / && env -u VORBEK_INSPECTOR_FRONTEND timeout 20 "$BIN" --print-url "$addr") \
    >"$WORK/print.out" 2>"$WORK/print.err" || status=$?
  [ "$status" = 0 ] || fail "--print-url: status $status: $(cat "$WORK/print.err")"
  [ ! -s "$WORK/print.err" ] || fail "--print-url: stderr: $(cat "$WORK/print.err")"
  expected_diagnostics "$target" >"$WORK/print.expected"
  diff -u "$WORK/print.expected" "$WORK/print.out" || fail "--print-url lines differ"
}

# The program's window on ADDR, as start_app does it for 127.0.0.1.
start_app_at() {
  unset VORBEK_INSPECTOR_FRONTEND
  "$BIN" "$1" >"$WORK/app.out" 2>"$WORK/app.err" &
  APP_PID=$!
  BACKGROUND+=("$APP_PID")
}

# True while some socket holds an established TCP connection to local PORT
# (the frontend's WebSocket; discovery's own connection is closed by then).
connected_to_port() {
  local hex
  hex=$(printf '%04X' "$1")
  awk -v p=":$hex" '$4 == "01" && substr($2, length($2) - 4) == p {found = 1} END {exit !found}' \
    /proc/net/tcp /proc/net/tcp6
}

wait_for_attach() {
  for _ in $(seq 600); do
    connected_to_port "$ENGINE_PORT" && return 0
    sleep 0.1
  done
  return 1
}

# True if FILE gains no line over 3 s, after it had been growing.
output_stopped() {
  local file=$1 before
  for _ in $(seq 10); do
    before=$(wc -l <"$file")
    sleep 3
    [ "$(wc -l <"$file")" = "$before" ] && return 0
  done
  return 1
}

output_grows() {
  local before
  before=$(wc -l <"$1")
  wait_for_line_count "$1" $((before + 2)) 20
}

# Records CHECK's RESULT for this case in $VORBEK_ENGINE_RESULTS/CASE, if set.
record() {
  echo "check $CASE: $1: $2"
  [ -n "${VORBEK_ENGINE_RESULTS:-}" ] || return 0
  mkdir -p "$VORBEK_ENGINE_RESULTS"
  printf '%s\t%s\t%s\t%s\n' "$CASE" "$ENGINE_LABEL" "$1" "$2" >>"$VORBEK_ENGINE_RESULTS/$CASE.tsv"
}
