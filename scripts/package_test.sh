#!/usr/bin/env bash
# Builds the .deb, installs it with apt-get, runs the installed program
# against a live node inspector (tests/e2e/print_url_test.py), then purges
# the package and checks that nothing of it is left. Needs root, as CI has.
set -euo pipefail
cd "$(dirname "$0")/.."
PKG=vorbek-inspector
BIN=/usr/bin/vorbek_inspector

if [ "$(id -u)" != 0 ]; then
  echo "package_test: skipped (installing a package needs root)"
  exit 0
fi

installed() { dpkg-query -W -f='${Status}' "$PKG" 2>/dev/null | grep -q 'install ok installed'; }
purge() { DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "$PKG" >/dev/null; }

deb=$(bash scripts/package.sh)
echo "package_test: $deb, $(stat -c %s "$deb") bytes"
echo "package_test: Depends: $(dpkg-deb -f "$deb" Depends)"

WORK=$(mktemp -d)
trap 'installed && purge; rm -rf "$WORK"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The same version already installed would make apt-get keep the old files.
if installed; then purge; fi
# apt's download user must be able to read the file.
chmod 755 "$WORK"
cp "$deb" "$WORK/"
chmod 644 "$WORK/$(basename "$deb")"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$WORK/$(basename "$deb")" >"$WORK/apt.log" 2>&1 ||
  fail "apt-get install: $(cat "$WORK/apt.log")"
installed || fail "$PKG is not installed after apt-get install"
for f in "$BIN" /usr/share/man/man1/vorbek_inspector.1.gz /usr/share/doc/$PKG/copyright \
         /usr/share/doc/$PKG/LICENSE.chii /usr/share/doc/$PKG/LICENSE.chromium; do
  [ -f "$f" ] || fail "$f was not installed"
done

# The launcher's whole command-line behaviour, from the installed binary.
PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 tests/e2e/print_url_test.py "$BIN" ||
  fail "the installed $BIN fails the --print-url test"

dpkg-query -L "$PKG" >"$WORK/files"
purge
! installed && [ -z "$(dpkg-query -W -f='${Status}' "$PKG" 2>/dev/null | grep -v 'not-installed')" ] ||
  fail "$PKG is still known to dpkg after purge: $(dpkg-query -W -f='${Status}' "$PKG")"
while read -r f; do
  [ -d "$f" ] || [ ! -e "$f" ] || fail "$f is left after purge"
done <"$WORK/files"
[ ! -e /usr/share/doc/$PKG ] || fail "/usr/share/doc/$PKG is left after purge"
echo "package_test: installed, ran and purged $PKG"
