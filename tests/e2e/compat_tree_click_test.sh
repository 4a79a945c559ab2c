# Clicks that the frontend handles by asking a shadow root for the selection:
# the triangle of a console object expands it, and a search result opens its
# file in the editor.
BIN=$1
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/xvfb.sh"
source "$(dirname "$0")/frontend.sh"

start_window_session compat.js

open_panel Console
console_eval 'probe'
wait_for_screen 20 "alpha: 1, nested"
# The triangle sits left of the object's preview.
click 35 "$FOUND_Y"
wait_for_screen 20 "nested: {gamma: 2}" --region 0 $((FOUND_Y + 8)) 800 $((FOUND_Y + 80))

open_panel Sources
wait_for_screen 30 Breakpoints --region "${SIDEBAR[@]}"
xdotool key ctrl+shift+f
sleep 1  # the search box takes typing once it has opened
xdotool type --delay 30 hoverable
xdotool key Return
wait_for_screen 30 "Found 2 matching lines"
click_text "const hoverable" --region 0 300 800 600
# The editor's tab strip names the opened file.
wait_for_screen 20 compat.js --region 225 27 575 52

close_window_ok
echo "compat_tree_click_test: all passed"
