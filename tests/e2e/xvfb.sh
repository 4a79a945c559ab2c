# Helpers for the window tests; source after lib.sh.

# Starts a private Xvfb on a display number it picks itself and exports
# DISPLAY once a client can connect; lib.sh's cleanup stops it. Under
# parallel tests an Xvfb has been seen to name a display no client could
# open, so one that does not answer is replaced.
start_xvfb() {
  local display_file=$WORK/xvfb.display pid
  for _ in 1 2 3; do
    rm -f "$display_file"
    # -noreset: when its last client leaves (the readiness probe below), an X
    # server resets, and a client that connects meanwhile is turned away.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$display_file" 2>"$WORK/xvfb.err" &
    pid=$!
    BACKGROUND+=("$pid")
    for _ in $(seq 100); do
      [ -s "$display_file" ] && break
      sleep 0.1
    done
    if [ -s "$display_file" ]; then
      export DISPLAY=":$(head -n1 "$display_file")"
      for _ in $(seq 50); do
        xdpyinfo >/dev/null 2>&1 && { XVFB_PID=$pid; return 0; }
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
      done
    fi
    kill "$pid" 2>/dev/null || true
  done
  fail "Xvfb did not start: $(cat "$WORK/xvfb.err")"
}

# Starts the program on node's inspector with stdout/stderr in $WORK/app.out
# and $WORK/app.err; sets APP_PID.
# With VIEWER=chromium, Chromium's app mode shows the same frontend files
# over loopback HTTP instead, to tell our faults from the frontend's.
start_app() {
  if [ "${VIEWER:-}" = chromium ]; then
    start_chromium_app
  else
    "$BIN" "127.0.0.1:$NODE_PORT" >"$WORK/app.out" 2>"$WORK/app.err" &
  fi
  APP_PID=$!
  BACKGROUND+=("$APP_PID")
}

# Serves DIR over loopback HTTP on a free port; sets HTTP_PORT.
serve_directory() {
  (cd "$1" && exec python3 -m http.server 0 --bind 127.0.0.1) >"$WORK/http.out" 2>&1 &
  BACKGROUND+=("$!")
  for _ in $(seq 100); do grep -q 'port [0-9]*' "$WORK/http.out" && break; sleep 0.1; done
  HTTP_PORT=$(grep -o 'port [0-9]*' "$WORK/http.out" | head -n1 | cut -d' ' -f2)
  [ -n "$HTTP_PORT" ] || fail "the HTTP server for $1 did not start"
}

start_chromium_app() {
  local target
  serve_directory "$(dirname "${BASH_SOURCE[0]}")/../../frontend/node_modules/chii/public/front_end"
  target=$(node_ws_url)
  target=${target#ws://}
  # root cannot run its sandbox here; --test-type keeps the warning bar away.
  chromium --no-sandbox --test-type --no-first-run --no-default-browser-check --user-data-dir="$WORK/chromium" \
    --window-size=800,600 --window-position=0,0 \
    "--app=http://127.0.0.1:$HTTP_PORT/js_app.html?ws=$target&experiments=true&v8only=true" \
    >"$WORK/app.out" 2>"$WORK/app.err" &
}

# The program's visible top-level window; sets WINDOW.
find_window() {
  for _ in $(seq 300); do
    # A search may trip over a window that goes away while it walks the tree.
    WINDOW=$(xdotool search --onlyvisible --pid "$APP_PID" 2>/dev/null | head -n1 || true)
    [ -n "$WINDOW" ] && return 0
    sleep 0.1
  done
  fail "no window within 30 s; stderr: $(cat "$WORK/app.err"); $(display_report)"
}

# The private display's state, for a failure that may be the display's.
display_report() {
  local state=ended answers=no
  [ -n "${XVFB_PID:-}" ] && kill -0 "$XVFB_PID" 2>/dev/null && state="running as $XVFB_PID"
  xdpyinfo >/dev/null 2>&1 && answers=yes
  echo "Xvfb on $DISPLAY: $state, answers: $answers, sockets: $(ls /tmp/.X11-unix 2>&1 | tr '\n' ' ')," \
    "its stderr: $(cat "$WORK/xvfb.err" 2>/dev/null)"
}

# Waits up to SECONDS for PATTERN (a fixed string) in FILE.
wait_for_text() {
  local file=$1 pattern=$2 seconds=$3
  for _ in $(seq $((seconds * 10))); do
    grep -qF -- "$pattern" "$file" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# Waits up to SECONDS for FILE to have at least COUNT lines.
wait_for_line_count() {
  local file=$1 count=$2 seconds=$3
  for _ in $(seq $((seconds * 10))); do
    [ "$(wc -l <"$file")" -ge "$count" ] && return 0
    sleep 0.1
  done
  return 1
}

# Waits up to SECONDS for the program to end; sets APP_STATUS.
wait_for_exit() {
  local seconds=$1
  for _ in $(seq $((seconds * 20))); do
    if ! kill -0 "$APP_PID" 2>/dev/null; then
      APP_STATUS=0
      wait "$APP_PID" || APP_STATUS=$?
      return 0
    fi
    sleep 0.05
  done
  return 1
}

# What a window manager sends when the user closes the window.
send_wm_delete() {
  python3 "$(dirname "${BASH_SOURCE[0]}")/wm_delete.py" "$1" || fail "could not send WM_DELETE_WINDOW"
}

# The three diagnostic lines for the embedded frontend.
expected_diagnostics() {
  local target=$1
  printf '%s\n' \
    "vorbek_inspector: ws target  = $target" \
    "vorbek_inspector: devtools   = http://devtools.localhost/js_app.html?ws=$target&experiments=true&v8only=true" \
    "vorbek_inspector: (frontend is embedded; override with VORBEK_INSPECTOR_FRONTEND)"
}
