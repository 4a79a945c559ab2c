# One case of the engine matrix: engine_test.sh CASE PROGRAM. Starts the
# case's engine with its inspector on a free loopback port and runs the same
# checks on each: --print-url against the engine's own /json, the window
# attaching, a breakpoint set in the window pausing the script (for
# --inspect-brk: paused before its first line, then resumed), and closing the
# window giving status 0.
CASE=$1
BIN=$(readlink -f "$2")
source "$(dirname "$0")/../e2e/lib.sh"
source "$(dirname "$0")/../e2e/xvfb.sh"
source "$(dirname "$0")/../e2e/frontend.sh"
source "$(dirname "$0")/lib.sh"

# Screenshots for a look when a check is in doubt.
keep_screenshots() {
  [ -n "${VORBEK_ENGINE_RESULTS:-}" ] || return 0
  for shot in source paused brk; do
    [ ! -f "$WORK/$shot.png" ] || cp "$WORK/$shot.png" "$VORBEK_ENGINE_RESULTS/$CASE-$shot.png"
  done
}

# workerd drains a request held at a breakpoint before it ends on SIGTERM.
engine_cleanup() {
  [ "$CASE" != workerd ] || [ -z "${ENGINE_PID:-}" ] || kill -KILL "$ENGINE_PID" 2>/dev/null || true
  cleanup
}
trap engine_cleanup EXIT

CURRENT=
# Every failure is recorded against the check that was running.
fail() {
  [ -z "$CURRENT" ] || record "$CURRENT" fail
  [ -z "${WINDOW:-}" ] || import -window "$WINDOW" "$WORK/paused.png" 2>/dev/null || true
  keep_screenshots
  echo "FAIL: $CASE: ${CURRENT:-setup}: $*" >&2
  exit 1
}
begin() { CURRENT=$1; }
pass() { record "$CURRENT" pass; CURRENT=; }

cp "$ENGINES_DIR/scripts/tick.js" "$ENGINES_DIR/scripts/tick.ts" "$WORK/"
# `--import tsx` resolves from the script's directory, as in a project.
ln -s "$ENGINE_MODULES" "$WORK/node_modules"
tsc() { (cd "$WORK" && "$(engine_binary tsc)" "$@" tick.ts) || fail "tsc $*"; }

host=127.0.0.1
source_file=tick.js
line=6
brk=no
case $CASE in
  node22|node24|node26|deno|workerd) engine=$CASE ;;
  *) engine=node26 ;;
esac
ENGINE_LABEL="$engine $(engine_version "$engine")"
node_bin=
[ "$engine" = deno ] || [ "$engine" = workerd ] || node_bin=$(engine_binary "$engine")
case $CASE in
  node22|node24|node26) ENGINE_CMD=("$node_bin" --inspect=127.0.0.1:0 "$WORK/tick.js") ;;
  deno) ENGINE_CMD=("$(engine_binary deno)" run --inspect=127.0.0.1:0 "$WORK/tick.js") ;;
  workerd) source_file=worker.js line=6 ;;
  tsx)
    # By path: node resolves a bare --import from the working directory.
    ENGINE_CMD=("$node_bin" --inspect=127.0.0.1:0 --import "file://$ENGINE_MODULES/tsx/dist/loader.mjs" "$WORK/tick.ts")
    source_file=tick.ts line=10 ;;
  tsc-inline)
    tsc --inlineSourceMap
    ENGINE_CMD=("$node_bin" --enable-source-maps --inspect=127.0.0.1:0 "$WORK/tick.js")
    source_file=tick.ts line=10 ;;
  tsc-external)
    tsc --sourceMap
    ENGINE_CMD=("$node_bin" --enable-source-maps --inspect=127.0.0.1:0 "$WORK/tick.js")
    source_file=tick.ts line=10 ;;
  inspect-brk)
    ENGINE_CMD=("$node_bin" --inspect-brk=127.0.0.1:0 "$WORK/tick.js")
    brk=yes ;;
  ipv6)
    ENGINE_CMD=("$node_bin" --inspect=[::1]:0 "$WORK/tick.js")
    host='[::1]' ;;
  localhost)
    ENGINE_CMD=("$node_bin" --inspect=localhost:0 "$WORK/tick.js")
    host=localhost ;;
  *) fail "unknown case $CASE" ;;
esac
[ -z "${VORBEK_ENGINE_RESULTS:-}" ] || rm -f "$VORBEK_ENGINE_RESULTS/$CASE.tsv"

if [ "$CASE" = workerd ]; then start_workerd; else start_v8_engine; fi
addr=$host:$ENGINE_PORT
if [ "$brk" = no ]; then
  wait_for_line_count "$WORK/engine.out" 2 60 || fail "the script does not run: $(cat "$WORK/engine.err")"
fi

begin print-url
check_print_url_at "$addr"
target=$(engine_ws_url "$addr")
target=${target#ws://}
pass

begin attach
start_xvfb
start_app_at "$addr"
find_window
wait_for_attach || fail "no connection to the inspector at $addr; stderr: $(cat "$WORK/app.err")"
case $engine in
  node*) wait_for_text "$WORK/engine.err" "Debugger attached." 30 || fail "node did not report the debugger" ;;
esac
pass

if [ "$brk" = yes ]; then
  begin paused-at-start
  # The frontend shows the script stopped before its first line.
  open_panel Sources
  wait_for_screen 60 "Debugger paused" --region "${SIDEBAR[@]}"
  [ ! -s "$WORK/engine.out" ] || fail "the script ran before it was resumed"
  import -window "$WINDOW" "$WORK/brk.png"
  pass
  begin resume
  xdotool key F8
  wait_for_line_count "$WORK/engine.out" 2 30 || fail "the script did not run after resuming"
  pass
else
  begin breakpoint
  output_grows "$WORK/engine.out" || fail "the script is not running"
  open_file "$(basename "$source_file")"
  import -window "$WINDOW" "$WORK/source.png"
  click_gutter_line "$line"
  wait_for_screen 60 "Paused on breakpoint" --region "${SIDEBAR[@]}"
  output_stopped "$WORK/engine.out" || fail "the script did not stop at line $line of $source_file"
  kill -0 "$ENGINE_PID" || fail "the engine ended"
  import -window "$WINDOW" "$WORK/paused.png"
  pass
fi

begin close
close_window_ok
expected_diagnostics "$target" >"$WORK/expected"
diff -u "$WORK/expected" "$WORK/app.out" || fail "stdout is not exactly the three lines"
pass

keep_screenshots
echo "engine_test $CASE: all passed"
