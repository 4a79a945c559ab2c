# The web view fills the window: the page's viewport is the window's size,
# at the start and after a resize.
BIN=$1
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/xvfb.sh"
REPO=$(cd "$(dirname "$0")/../.." && pwd)

start_xvfb
start_node "$REPO/demo/demo.js"

reports=$WORK/viewport
: >"$reports"
node "$(dirname "$0")/viewport_probe.js" "$reports" >"$WORK/probe.port" &
BACKGROUND+=("$!")
for _ in $(seq 100); do [ -s "$WORK/probe.port" ] && break; sleep 0.1; done
probe_port=$(cat "$WORK/probe.port")
[ -n "$probe_port" ] || fail "the probe page server did not start"

export VORBEK_INSPECTOR_FRONTEND="http://127.0.0.1:$probe_port/?ws={ws}"
start_app
find_window

wait_for_text "$reports" "800x600" 60 || fail "viewport at start: $(tr '\n' ' ' <"$reports")"

xdotool windowsize "$WINDOW" 1024 700
wait_for_text "$reports" "1024x700" 20 || fail "viewport after resize: $(tr '\n' ' ' <"$reports")"
xdotool windowsize "$WINDOW" 640 480
wait_for_text "$reports" "640x480" 20 || fail "viewport after shrinking: $(tr '\n' ' ' <"$reports")"
kill -0 "$APP_PID" 2>/dev/null || fail "the program ended during the resizes"

send_wm_delete "$WINDOW"
wait_for_exit 2 || fail "still running 2 s after WM_DELETE_WINDOW"
[ "$APP_STATUS" = 0 ] || fail "status $APP_STATUS after close"

echo "window_resize_test: all passed"
