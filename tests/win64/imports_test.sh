#!/usr/bin/env bash
# The Windows .exe imports the WebView2 loader, and no longer carries the
# web-view-less build's text. Usage: imports_test.sh OBJDUMP EXE
set -euo pipefail
OBJDUMP=$1 EXE=$2
fail() { echo "win64 imports_test: $*" >&2; exit 1; }
imports=$("$OBJDUMP" -p "$EXE")
grep -q 'DLL Name: WebView2Loader.dll' <<<"$imports" || fail "no WebView2Loader.dll import"
grep -q 'CreateCoreWebView2EnvironmentWithOptions' <<<"$imports" ||
  fail "the loader's entry point is not imported"
! grep -q -a 'no WebView2 support' "$EXE" || fail "the .exe still says it has no WebView2 support"
[ -f "$(dirname "$EXE")/WebView2Loader.dll" ] || fail "no WebView2Loader.dll beside the .exe"
echo "win64 imports_test: all passed"
