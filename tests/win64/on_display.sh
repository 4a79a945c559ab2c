#!/usr/bin/env bash
# Runs a Windows program under Wine on a private Xvfb display, for tests that
# need real windows. Usage: on_display.sh WINE EXE [ARGS...]; WINEPREFIX
# comes from the fixture.
set -euo pipefail
WINE=$1
shift
REPO=$(cd "$(dirname "$0")/../.." && pwd)
WORK=$(mktemp -d)
BACKGROUND=()
cleanup() {
  for pid in "${BACKGROUND[@]}"; do kill "$pid" 2>/dev/null; done
  [ -n "${WINEPREFIX:-}" ] && "$(dirname "$WINE")/wineserver" -k 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "on_display: $*" >&2; exit 1; }

source "$REPO/tests/e2e/xvfb.sh"
start_xvfb
# A wineserver started without a display keeps its desktop without one; a
# fresh one gets this display.
"$(dirname "$WINE")/wineserver" -k 2>/dev/null || true
"$(dirname "$WINE")/wineserver" -w 2>/dev/null || true
status=0
timeout 120 "$WINE" "$@" || status=$?
exit "$status"
