# The console on a live node: the script's own console.log appears, an
# expression typed at the prompt is evaluated by the engine, and the window
# outlives the engine: closing it after node has exited still gives status 0.
BIN=$1
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/xvfb.sh"
source "$(dirname "$0")/frontend.sh"

# Slow ticks, so that an answer stays on screen until it is read.
export WORKFLOW_TICK_MS=2000
start_window_session workflow.js

open_panel Console
wait_for_screen 30 "workflow tick"
wait_for_screen 45 "workflow.js:19"

# Evaluated in the engine: its answer is on screen, its side effect in node.
console_eval '6 * 7 + 0.5'
wait_for_screen 45 "42.5"
console_eval 'process.stderr.write("evaluated-in-" + process.title + "\n")'
wait_for_text "$NODE_ERR" "evaluated-in-node" 20 || fail "the console did not reach the engine"

# The engine exits while the window is open.
# SIGKILL: the engine goes at once, however busy it is.
kill -KILL "$NODE_PID"
for _ in $(seq 100); do process_ended "$NODE_PID" && break; sleep 0.1; done
process_ended "$NODE_PID" || fail "node did not exit"
wait_for_screen 45 "Debugging connection was closed"
kill -0 "$APP_PID" 2>/dev/null || fail "the program ended with the engine"

close_window_ok
echo "workflow_console_test: all passed"
