# Hovering a variable that holds a primitive while paused shows its value in
# a popover that is big enough to read.
BIN=$1
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/xvfb.sh"
source "$(dirname "$0")/frontend.sh"

EDITOR=(272 50 575 575)  # Sources: the editor right of its gutter

start_window_session popover.js

open_file popover.js
click_gutter_line 8
wait_for_screen 45 "Paused on breakpoint" --region "${SIDEBAR[@]}"

# The value on screen left of the sidebar can only be the popover's: the
# source spells it in two parts, and Scope lists it in the sidebar.
wait_for_screen 20 "const shownValue" --region "${EDITOR[@]}"
wait_for_screen 20 shownValue --exact --region "$((FOUND_X - 10))" "$((FOUND_Y - 8))" 575 "$((FOUND_Y + 8))"
for attempt in 1 2 3; do
  # The frontend asks for the value once the pointer rests on the name.
  xdotool mousemove --window "$WINDOW" "$((FOUND_X - 3))" "$FOUND_Y"
  sleep 0.2
  xdotool mousemove --window "$WINDOW" "$FOUND_X" "$FOUND_Y"
  if screen_find hover-shown --region 0 0 575 600 >/dev/null; then break; fi
  sleep 2
  if screen_find hover-shown --region 0 0 575 600 >/dev/null; then break; fi
  [ "$attempt" -lt 3 ] || {
    shot popover
    fail "the popover does not show the value; the editor shows: $(screen_text --region 0 0 575 600 | tr '\n' '|')"
  }
  xdotool mousemove --window "$WINDOW" 400 580
  sleep 1
done

close_window_ok
echo "compat_popover_test: all passed"
