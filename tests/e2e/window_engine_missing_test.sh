# Without the web engine the program still discovers and reports, then fails
# to make the web view with the dynamic loader's reason. The engine is hidden
# by a bind mount in a private mount namespace; where none can be made the
# test is skipped (status 77).
BIN=$1
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/xvfb.sh"
REPO=$(cd "$(dirname "$0")/../.." && pwd)

engine=$(ldconfig -p | awk '$1 == "libwebkit2gtk-4.1.so.0" && !found {print $NF; found = 1}')
[ -n "$engine" ] || fail "the web engine is not installed"
engine=$(readlink -f "$engine")

namespace=()
for candidate in "unshare -m" "unshare -rm"; do
  if $candidate sh -c "mount --bind /dev/null '$engine'" 2>/dev/null; then
    read -ra namespace <<<"$candidate"
    break
  fi
done
if [ ${#namespace[@]} = 0 ]; then
  echo "window_engine_missing_test: skipped, no mount namespace can be made here"
  exit 77
fi

start_node "$REPO/demo/demo.js"
target=$(node_ws_url)
target=${target#ws://}
unset VORBEK_INSPECTOR_FRONTEND
start_xvfb

status=0
timeout 30 "${namespace[@]}" sh -c 'mount --bind /dev/null "$1" && shift && exec "$@"' \
  hide "$engine" "$BIN" "127.0.0.1:$NODE_PORT" >"$WORK/out" 2>"$WORK/err" || status=$?
[ "$status" = 1 ] || fail "status $status: $(cat "$WORK/err")"
expected_diagnostics "$target" >"$WORK/expected"
diff -u "$WORK/expected" "$WORK/out" || fail "stdout differs"
printf '%s\n' "Error: failed to create webview (is the WebView2 runtime installed?)" "" "Caused by:" \
  >"$WORK/expected"
diff -u "$WORK/expected" <(head -n3 "$WORK/err") || fail "report differs: $(cat "$WORK/err")"
[ "$(wc -l <"$WORK/err")" = 4 ] && grep -q '^    .*libwebkit2gtk-4\.1\.so\.0' "$WORK/err" ||
  fail "the cause is not the loader's: $(cat "$WORK/err")"

echo "window_engine_missing_test: all passed"
