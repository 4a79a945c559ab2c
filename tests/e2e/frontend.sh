# Driving the debugger frontend in the program's window as a user does: the
# pointer and the keyboard through xdotool, and the screen read back with OCR
# (screen.py). Source after xvfb.sh, once find_window has set WINDOW.
#
# Every wait polls for what the screen or the engine shows, within a bound.

SCREEN_PY=$(dirname "${BASH_SOURCE[0]}")/screen.py

# The parts of the 800x600 window the checks read.
PANEL_TABS=(0 0 800 30)
SIDEBAR=(576 50 800 600)  # Sources: the debugger's sidebar
GUTTER=(225 50 272 575)   # Sources: the editor's line numbers

screen_text() { timeout 30 python3 "$SCREEN_PY" text "$WINDOW" "$@" || true; }

# Prints "X Y" of PHRASE on screen (screen.py find's options follow).
screen_find() { timeout 30 python3 "$SCREEN_PY" find "$WINDOW" "$@"; }

shot() { import -window "$WINDOW" "$WORK/$1.png" 2>/dev/null || true; }

# Waits up to SECONDS for PHRASE (screen.py find's options follow) and sets
# FOUND_X, FOUND_Y; on a time-out keeps a screenshot for the report and fails.
wait_for_screen() {
  local seconds=$1 phrase=$2 at deadline
  shift 2
  deadline=$((SECONDS + seconds))
  while :; do
    if at=$(screen_find "$phrase" "$@"); then
      read -r FOUND_X FOUND_Y <<<"$at"
      return 0
    fi
    [ "$SECONDS" -lt "$deadline" ] || break
    sleep 0.3
  done
  shot "missing-${phrase//[^A-Za-z0-9]/_}"
  fail "\"$phrase\" not on screen within $seconds s; it shows: $(screen_text "$@" | tr '\n' '|')"
}

# Waits for PHRASE to leave the screen.
wait_for_screen_gone() {
  local seconds=$1 phrase=$2 deadline
  shift 2
  deadline=$((SECONDS + seconds))
  while screen_find "$phrase" "$@" >/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || fail "\"$phrase\" still on screen after $seconds s"
    sleep 0.3
  done
}

click() { xdotool mousemove --window "$WINDOW" "$1" "$2" click 1; }

# Clicks the middle of PHRASE once it is on screen.
click_text() {
  local phrase=$1
  shift
  wait_for_screen 30 "$phrase" "$@"
  click "$FOUND_X" "$FOUND_Y"
}

# A private display, node on a copy of SCRIPT (a file beside these helpers),
# and the program's window with the frontend attached.
start_window_session() {
  start_xvfb
  cp "$(dirname "${BASH_SOURCE[0]}")/$1" "$WORK/$1"
  start_node "$WORK/$1"
  start_app
  find_window
  wait_for_frontend
}

# Waits until the frontend is up and attached: its panel tabs are drawn.
wait_for_frontend() {
  wait_for_text "$NODE_ERR" "Debugger attached." 60 ||
    fail "the frontend did not attach; program stderr: $(cat "$WORK/app.err")"
  wait_for_screen 60 Console --region "${PANEL_TABS[@]}"
  # The pointer gives the window X's input focus: there is no window manager.
  xdotool mousemove --window "$WINDOW" 400 300
}

open_panel() { click_text "$1" --region "${PANEL_TABS[@]}"; }

# Opens FILE in Sources with the quick-open box.
open_file() {
  open_panel Sources
  wait_for_screen 30 Breakpoints --region "${SIDEBAR[@]}"
  xdotool key ctrl+p
  sleep 0.5  # the box takes the typed name only once it has opened
  xdotool type --delay 30 "$1"
  wait_for_screen 30 "$1" --region 150 30 650 200
  xdotool key Return
  wait_for_screen 30 "$1" --region 225 27 575 52
}

# Sets or removes the breakpoint on LINE by clicking its number in the gutter.
click_gutter_line() {
  local at
  at=$(timeout 30 python3 "$SCREEN_PY" line "$WINDOW" "$1" --region "${GUTTER[@]}") ||
    fail "no line numbers in the editor's gutter"
  click $at
}

# Console input: types EXPRESSION at the prompt and runs it. A click in the
# console's free space gives the prompt the keyboard first.
console_eval() {
  click 400 590
  xdotool type --delay 15 "$1"
  xdotool key Return
}

# Lines of the script's standard output so far.
output_lines() { wc -l <"$WORK/node.out"; }

# Waits for the script to write COUNT more lines than BEFORE, that is for it
# to be running.
wait_for_output_after() {
  local before=$1 count=$2 seconds=$3
  wait_for_line_count "$WORK/node.out" $((before + count)) "$seconds"
}

# Holds if the script writes nothing for SECONDS, that is it is paused.
output_stalls() {
  local before
  before=$(output_lines)
  sleep "$1"
  [ "$(output_lines)" = "$before" ]
}

# Closes the window as a window manager does and checks the status is 0.
close_window_ok() {
  send_wm_delete "$WINDOW"
  wait_for_exit 5 || fail "still running 5 s after WM_DELETE_WINDOW"
  [ "$APP_STATUS" = 0 ] || fail "status $APP_STATUS after close: $(cat "$WORK/app.err")"
}
