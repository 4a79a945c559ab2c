# Debugging a live node from the Sources panel as a user does: a breakpoint
# set in the gutter, stepping over, into and out, a watch expression, resume,
# and pausing on an uncaught exception.
BIN=$1
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/xvfb.sh"
source "$(dirname "$0")/frontend.sh"

start_window_session workflow.js

open_file workflow.js
wait_for_output_after "$(output_lines)" 1 10 || fail "the script is not running"
click_gutter_line 11
wait_for_screen 45 "Paused on breakpoint" --region "${SIDEBAR[@]}"
wait_for_screen 45 "outer workflow.js:11" --region "${SIDEBAR[@]}"
output_stalls 1.5 || fail "the script runs on at the breakpoint"

# The call stack's top frame says where each step stopped.
xdotool key F10
wait_for_screen 45 "outer workflow.js:12" --region "${SIDEBAR[@]}"
xdotool key F11
wait_for_screen 45 "inner workflow.js:6" --region "${SIDEBAR[@]}"
xdotool key shift+F11
wait_for_screen 45 "outer workflow.js:13" --region "${SIDEBAR[@]}"
wait_for_screen_gone 45 "inner workflow.js" --region "${SIDEBAR[@]}"

# A watch expression, evaluated in the paused frame, where result is a number.
click_text Watch --region "${SIDEBAR[@]}"
watch_y=$FOUND_Y
# Its "+" sits at the right end of the section's header.
click 754 "$watch_y"
sleep 0.5  # the editor opens under the pointer
xdotool type --delay 30 'typeof result'
xdotool key Return
wait_for_screen 45 'typeof result: number' --region 576 $((watch_y + 8)) 800 $((watch_y + 40))

# Remove the breakpoint and resume: the script runs on.
click_gutter_line 11
before=$(output_lines)
xdotool key F8
wait_for_output_after "$before" 3 10 || fail "the script did not run on after resume"
wait_for_screen_gone 45 "Paused on" --region "${SIDEBAR[@]}"

# Pause on an uncaught exception thrown from the console.
click_text "Pause on uncaught" --region "${SIDEBAR[@]}"
open_panel Console
wait_for_screen 45 "workflow tick"
console_eval "setTimeout(() => { throw new Error('workflow-boom') }, 0)"
wait_for_screen 30 "workflow-boom"
open_panel Sources
wait_for_screen 45 "Paused on exception" --region "${SIDEBAR[@]}"
wait_for_screen 45 "workflow-boom" --region "${SIDEBAR[@]}"
kill -0 "$NODE_PID" 2>/dev/null || fail "node ended at the exception"

close_window_ok
echo "workflow_debug_test: all passed"
