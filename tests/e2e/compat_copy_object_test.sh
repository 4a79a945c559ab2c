# "Copy object" in the console's context menu puts the object's JSON on the
# clipboard. The frontend gets the JSON from the engine only after the click,
# when a web page may no longer write the clipboard by itself.
BIN=$1
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/xvfb.sh"
source "$(dirname "$0")/frontend.sh"

start_window_session compat.js

open_panel Console
console_eval 'copyable'
wait_for_screen 20 "from the console"
xdotool mousemove --window "$WINDOW" "$FOUND_X" "$FOUND_Y" click 3
click_text "Copy object"

expected=$(printf '{\n    "copied": "from the console",\n    "count": 3\n}')
for _ in $(seq 100); do
  clipboard=$(timeout 5 xclip -o -selection clipboard 2>/dev/null || true)
  [ "$clipboard" = "$expected" ] && break
  sleep 0.1
done
[ "$clipboard" = "$expected" ] || fail "the clipboard holds \"$clipboard\", not the object's JSON"

close_window_ok
echo "compat_copy_object_test: all passed"
