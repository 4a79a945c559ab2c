#!/usr/bin/env bash
# The tests' private Wine prefix: `create DIR WINE WINESERVER` boots it once
# (the slow part), `remove ...` stops its wineserver and deletes it.
set -euo pipefail
action=$1 prefix=$2 wine=$3 wineserver=$4
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
unset DISPLAY WAYLAND_DISPLAY
case $action in
  create)
    rm -rf "$prefix"
    "$wine" wineboot --init
    "$wineserver" -w
    test -d "$prefix/drive_c/windows"
    ;;
  remove)
    [ -d "$prefix" ] || exit 0
    "$wineserver" -k 2>/dev/null || true
    rm -rf "$prefix"
    ;;
esac
