# The man page renders without warnings and quotes the program's usage line.
set -euo pipefail
BIN=$1
PAGE=$2

warnings=$(groff -ww -man -z "$PAGE" 2>&1)
[ -z "$warnings" ] || { echo "FAIL: groff warnings:"; echo "$warnings"; exit 1; }

usage=$("$BIN" 2>&1 >/dev/null || true)
case $usage in "Error: usage: "*) ;; *) echo "FAIL: no usage report: $usage"; exit 1 ;; esac
rendered=$(groff -man -Tascii -P-cbou "$PAGE" | sed 's/^ *//')
grep -qxF "$usage" <<<"$rendered" ||
  { echo "FAIL: the page does not quote the usage report: $usage"; exit 1; }
echo "man_page_test: passed"
