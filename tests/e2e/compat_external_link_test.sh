# A documentation link in the frontend opens in the user's browser, here a
# stand-in registered as the profile's handler for web addresses, and the
# window stays on the debugger.
BIN=$1
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/xvfb.sh"
source "$(dirname "$0")/frontend.sh"

OPENED=$WORK/browser.opened
mkdir -p "$XDG_DATA_HOME/applications"
cat >"$WORK/browser" <<STUB
#!/bin/sh
printf '%s\n' "\$@" >>"$OPENED"
STUB
chmod +x "$WORK/browser"
cat >"$XDG_DATA_HOME/applications/stand-in-browser.desktop" <<DESKTOP
[Desktop Entry]
Type=Application
Name=Stand-in browser
Exec=$WORK/browser %u
MimeType=x-scheme-handler/http;x-scheme-handler/https;
DESKTOP
cat >"$XDG_CONFIG_HOME/mimeapps.list" <<MIMEAPPS
[Default Applications]
x-scheme-handler/http=stand-in-browser.desktop
x-scheme-handler/https=stand-in-browser.desktop
MIMEAPPS

start_window_session compat.js

# The empty workspace pane of Sources has a "Learn more" link.
open_panel Sources
wait_for_screen 30 Breakpoints --region "${SIDEBAR[@]}"
click_text "Learn more" --region 0 50 225 600
wait_for_text "$OPENED" "https://" 20 || fail "no address reached the browser; stderr: $(cat "$WORK/app.err")"
[ "$(wc -l <"$OPENED")" = 1 ] || fail "the browser was asked more than once: $(cat "$OPENED")"

# The window still shows the debugger, and it still works.
sleep 1
wait_for_screen 10 Breakpoints --region "${SIDEBAR[@]}"
open_panel Console
wait_for_screen 20 "Default levels"
click 400 400  # the prompt takes the keyboard
sleep 0.5
console_eval '6 * 7 + 0.5'
wait_for_screen 20 "42.5"

close_window_ok
echo "compat_external_link_test: all passed"
