# The inspector window on a live node: title, size, the embedded frontend
# attaching, keyboard focus, a real picture, and closing it.
BIN=$1
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/xvfb.sh"
source "$(dirname "$0")/frontend.sh"
REPO=$(cd "$(dirname "$0")/../.." && pwd)

start_xvfb
start_node "$REPO/demo/demo.js"
target=$(node_ws_url)
target=${target#ws://}

unset VORBEK_INSPECTOR_FRONTEND
start_app
find_window

# The title as the X server has it, in both properties a window manager reads.
title=$(xprop -id "$WINDOW" -notype _NET_WM_NAME)
[ "$title" = '_NET_WM_NAME = "vorbek — script inspector"' ] || fail "title: $title"
wm_name=$(xprop -id "$WINDOW" -notype WM_NAME)
[ "$wm_name" = 'WM_NAME = "vorbek — script inspector"' ] || fail "WM_NAME: $wm_name"

geometry=$(xwininfo -id "$WINDOW" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[ "$geometry" = 800x600 ] || fail "size $geometry"

# The frontend's modules all came from the scheme handler, or it would not connect.
wait_for_text "$NODE_ERR" "Debugger attached." 60 ||
  fail "the frontend did not attach; program stderr: $(cat "$WORK/app.err")"
grep -q libwebkit2gtk-4.1 "/proc/$APP_PID/maps" || fail "the engine is not mapped in the window process"

# Keyboard input reaches the page without a click in it. The command menu
# opens the console whichever panel is showing.
wait_for_screen 60 Console --region "${PANEL_TABS[@]}"
xdotool mousemove --window "$WINDOW" 400 300
xdotool key ctrl+shift+p
wait_for_screen 45 "Run command" --region 0 0 800 120
xdotool type --delay 20 'Show Console'
wait_for_screen 45 "Show Console" --region 0 30 800 200
xdotool key Return
wait_for_screen 45 "demo running"
console_eval 'process.stderr.write("typed-into-vorbek\n")'
wait_for_text "$NODE_ERR" "typed-into-vorbek" 20 || fail "typed text did not reach the engine"

# A breakpoint set in the gutter pauses the script: its ticks on stdout stop.
open_file demo.js
wait_for_output_after "$(output_lines)" 1 10 || fail "the script is not running"
click_gutter_line 15
wait_for_screen 45 "Paused on breakpoint" --region "${SIDEBAR[@]}"
output_stalls 2.5 || fail "the script did not stop at the breakpoint"
kill -0 "$NODE_PID" || fail "node ended"

import -window "$WINDOW" "$WORK/shot.png"
colours=$(convert "$WORK/shot.png" -format '%k' info:)
[ "$colours" -gt 50 ] || fail "the screenshot is blank ($colours colours)"

# WM_DELETE_WINDOW, as a window manager's close sends it.
send_wm_delete "$WINDOW"
wait_for_exit 2 || fail "still running 2 s after WM_DELETE_WINDOW"
[ "$APP_STATUS" = 0 ] || fail "status $APP_STATUS after close: $(cat "$WORK/app.err")"
expected_diagnostics "$target" >"$WORK/expected"
diff -u "$WORK/expected" "$WORK/app.out" || fail "stdout is not exactly the three lines"

echo "window_test: all passed"
