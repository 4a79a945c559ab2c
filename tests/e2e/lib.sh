# Helpers shared by the end-to-end tests; source it, then call start_node.
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/node_inspect.sh"

WORK=$(mktemp -d)
BACKGROUND=()

# A profile of the test's own: the web engine keeps the frontend's state
# (breakpoints, last panel, settings) under HOME and the XDG directories, and
# neither the user's data nor an earlier test's may leak in or be changed.
export HOME=$WORK/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
export XDG_RUNTIME_DIR=$WORK/runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"

cleanup() {
  for pid in "${BACKGROUND[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${BACKGROUND[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Starts `node --inspect=127.0.0.1:0 SCRIPT` and sets NODE_PID, NODE_PORT,
# NODE_ERR (its stderr) once the inspector is listening.
start_node() {
  NODE_ERR=$WORK/node.err
  local started=0
  start_inspected_node "$1" "$WORK/node.out" "$NODE_ERR" || started=$?
  BACKGROUND+=("$NODE_PID")
  [ "$started" = 0 ] || fail "node did not start its inspector: $(cat "$NODE_ERR")"
}

# Whether PID has ended; a child not yet waited for lingers as a zombie.
# One read of its state: the shell may reap it between two looks.
process_ended() {
  local state
  state=$(sed -n 's/^State:[[:space:]]*\(.\).*/\1/p' "/proc/$1/status" 2>/dev/null || true)
  [ -z "$state" ] || [ "$state" = Z ]
}

# node's own answer at /json, element 0's webSocketDebuggerUrl.
node_ws_url() {
  node -e '
    require("http").get(process.argv[1], res => {
      let body = "";
      res.on("data", d => body += d);
      res.on("end", () => console.log(JSON.parse(body)[0].webSocketDebuggerUrl));
    });' "http://127.0.0.1:$NODE_PORT/json"
}

# A loopback port nothing listens on.
free_port() {
  node -e 'const s = require("net").createServer().listen(0, "127.0.0.1", () => {
    console.log(s.address().port); s.close(); });'
}

# Runs `BIN --print-url` against the node from start_node (from `/`, without
# the override) and checks its three lines against node's own /json.
check_print_url() {
  local bin target status=0
  bin=$(readlink -f "$1")
  target=$(node_ws_url)
  target=${target#ws://}
  (cd / && env -u VORBEK_INSPECTOR_FRONTEND timeout 20 "$bin" --print-url "127.0.0.1:$NODE_PORT") \
    >"$WORK/out" 2>"$WORK/err" || status=$?
  [ "$status" = 0 ] || fail "$bin: status $status: $(cat "$WORK/err")"
  [ ! -s "$WORK/err" ] || fail "$bin: unexpected stderr: $(cat "$WORK/err")"
  printf '%s\n' \
    "vorbek_inspector: ws target  = $target" \
    "vorbek_inspector: devtools   = http://devtools.localhost/js_app.html?ws=$target&experiments=true&v8only=true" \
    "vorbek_inspector: (frontend is embedded; override with VORBEK_INSPECTOR_FRONTEND)" >"$WORK/expected"
  diff -u "$WORK/expected" "$WORK/out" || fail "$bin: diagnostic lines differ"
}
