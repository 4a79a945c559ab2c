# A tsc map whose original is gone: Sources lists the .ts, and opening it
# shows the failed load with the reason the program gave, not empty text.
BIN=$(readlink -f "$1")
source "$(dirname "$0")/../e2e/lib.sh"
source "$(dirname "$0")/../e2e/xvfb.sh"
source "$(dirname "$0")/../e2e/frontend.sh"
source "$(dirname "$0")/lib.sh"

cp "$ENGINES_DIR/scripts/tick.ts" "$WORK/"
(cd "$WORK" && "$(engine_binary tsc)" --sourceMap tick.ts) || fail "tsc --sourceMap"
rm "$WORK/tick.ts"
ENGINE_CMD=("$(engine_binary node26)" --enable-source-maps --inspect=127.0.0.1:0 "$WORK/tick.js")
start_v8_engine
wait_for_line_count "$WORK/engine.out" 2 60 || fail "the script does not run: $(cat "$WORK/engine.err")"

start_xvfb
start_app_at "127.0.0.1:$ENGINE_PORT"
find_window
wait_for_attach || fail "no connection to the inspector; stderr: $(cat "$WORK/app.err")"
open_file tick.ts
EDITOR=(225 50 575 575)
wait_for_screen 30 "Could not load content" --region "${EDITOR[@]}"
# The reason ends the line, past the editor's right edge.
click 400 64
xdotool key End
wait_for_screen 30 "No such file" --region "${EDITOR[@]}"

close_window_ok
