# Profiling a live node: a CPU profile recorded for a few seconds and its
# summary, a heap snapshot (parsed by the frontend in a web worker) and its
# summary, and both saved without a prompt into the test's own download
# directory, never replacing a file already there.
BIN=$1
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/xvfb.sh"
source "$(dirname "$0")/frontend.sh"

downloads=$HOME/Downloads

# Waits for a file matching GLOB in the download directory beyond COUNT of
# them, and sets SAVED to the newest.
wait_for_download() {
  local glob=$1 count=$2
  for _ in $(seq 200); do
    # A download is written under a temporary name first.
    if [ "$(find "$downloads" -maxdepth 1 -name "$glob" -size +0 2>/dev/null | wc -l)" -gt "$count" ]; then
      SAVED=$(ls -t "$downloads"/$glob | head -n1)
      return 0
    fi
    sleep 0.1
  done
  fail "nothing saved as $downloads/$glob: $(ls -la "$downloads" "$HOME" 2>&1 | tr '\n' ' ')"
}

start_window_session workflow.js

open_panel Performance
wait_for_screen 30 "Click the record button"
xdotool key ctrl+e
wait_for_screen 30 "Profiling"
# A few seconds of the script's work: ten of its 300 ms ticks.
wait_for_output_after "$(output_lines)" 10 60 || fail "the script stopped while profiled"
xdotool key ctrl+e
wait_for_screen 60 Summary
wait_for_screen 45 Scripting
wait_for_screen 45 Total

# The toolbar's save button, beside load.
click 137 40
wait_for_download '*.cpuprofile' 0
first=$SAVED
grep -q '"nodes"' "$first" || fail "$first is not a CPU profile"
# Saving again keeps the first file as it is.
echo keep-me >"$first"
click 137 40
wait_for_download '*.cpuprofile' 1
[ "$(cat "$first")" = keep-me ] || fail "saving again replaced $first"
grep -q '"nodes"' "$SAVED" || fail "$SAVED is not a CPU profile"

open_panel Memory
wait_for_screen 30 "Heap snapshot"
# The toolbar's first button takes the snapshot.
click 16 40
wait_for_screen 90 "Snapshot 1"
wait_for_screen 60 Constructor
wait_for_screen 30 "(closure)"
click 109 40
wait_for_download '*.heapsnapshot' 0
grep -q '"snapshot"' "$SAVED" || fail "$SAVED is not a heap snapshot"
[ -z "$(find "$HOME" -maxdepth 1 -type f)" ] || fail "files saved outside the download directory"

close_window_ok
echo "workflow_profile_test: all passed"
