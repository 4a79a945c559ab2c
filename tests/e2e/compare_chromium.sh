#!/usr/bin/env bash
# Runs the window and workflow tests in our window and in Chromium's app mode
# on the same frontend files, and prints which pass where. A step that passes
# in Chromium and fails in ours is our fault. Not part of the suite: it needs
# Debian's chromium (apt-get install chromium).
# Usage: tests/e2e/compare_chromium.sh [path/to/vorbek_inspector]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../../build/inspector/vorbek_inspector}
printf '%-24s %-10s %-10s\n' test ours chromium
for test in workflow_console workflow_debug workflow_profile; do
  row=()
  for viewer in ours chromium; do
    log=$(mktemp)
    if VIEWER=$viewer timeout 300 bash "$here/${test}_test.sh" "$bin" >"$log" 2>&1; then
      row+=(pass)
    else
      row+=(FAIL)
      sed 's/^/    /' "$log" >&2
    fi
    rm -f "$log"
  done
  printf '%-24s %-10s %-10s\n' "$test" "${row[@]}"
done
