# The inspector window on a live node: title, size, the embedded frontend
# attaching, keyboard focus, a real picture, and closing it.
BIN=$1
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/xvfb.sh"
REPO=$(cd "$(dirname "$0")/../.." && pwd)

start_xvfb
# A copy at a path of its own: the frontend keeps breakpoints per script URL
# in the engine's data, and one left by an earlier run must not pause this one.
cp "$REPO/demo/demo.js" "$WORK/demo.js"
start_node "$WORK/demo.js"
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
# opens the console whichever panel the frontend restored. (The pointer only
# gives the window X's input focus: there is no window manager to do it.)
sleep 1
xdotool mousemove --window "$WINDOW" 400 300
xdotool key ctrl+shift+p
sleep 1
xdotool type --delay 20 'Show Console'
sleep 1
xdotool key Return
sleep 1
xdotool type --delay 20 'process.stderr.write("typed-into-vorbek\n")'
xdotool key Return
wait_for_text "$NODE_ERR" "typed-into-vorbek" 20 || fail "typed text did not reach the engine"

# A breakpoint from the keyboard pauses the script: its ticks on stdout stop.
before=$(wc -l <"$WORK/node.out")
wait_for_line_count "$WORK/node.out" $((before + 1)) 10 || fail "the script is not running"
xdotool key ctrl+p
sleep 1
xdotool type --delay 20 'demo.js:15'
sleep 1
xdotool key Return
sleep 1
xdotool key ctrl+b
paused=no
for _ in $(seq 20); do
  before=$(wc -l <"$WORK/node.out")
  sleep 3
  if [ "$(wc -l <"$WORK/node.out")" = "$before" ]; then paused=yes; break; fi
done
[ "$paused" = yes ] || fail "the script did not stop at the breakpoint"
kill -0 "$NODE_PID" || fail "node ended"

import -window "$WINDOW" "$WORK/shot.png"
colours=$(convert "$WORK/shot.png" -format '%k' info:)
[ "$colours" -gt 50 ] || fail "the screenshot is blank ($colours colours)"
xdotool key ctrl+b  # leaves no breakpoint behind in the engine's data

# WM_DELETE_WINDOW, as a window manager's close sends it.
send_wm_delete "$WINDOW"
wait_for_exit 2 || fail "still running 2 s after WM_DELETE_WINDOW"
[ "$APP_STATUS" = 0 ] || fail "status $APP_STATUS after close: $(cat "$WORK/app.err")"
expected_diagnostics "$target" >"$WORK/expected"
diff -u "$WORK/expected" "$WORK/app.out" || fail "stdout is not exactly the three lines"

echo "window_test: all passed"
