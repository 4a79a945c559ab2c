#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (run as root), then
# the pinned frontend. Quick when everything is already there.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  g++ cmake ninja-build pkg-config
  libgtk-3-dev libwebkit2gtk-4.1-dev nlohmann-json3-dev libssl-dev
  libgtest-dev libbenchmark-dev
  xvfb xdotool x11-utils imagemagick
  # a session bus for each test's desktop; without one GLib autolaunches one
  # through dbus-launch, which can hang the program's start for good
  dbus-daemon
  # the window tests drive the program through WebKit's WebDriver, in Debian's python
  webkit2gtk-driver python3-selenium
  # the clipboard test reads the clipboard back
  xclip
  # the one smoke test that reads the screen, and the only fonts it renders with
  tesseract-ocr tesseract-ocr-eng fonts-dejavu-core
  # cpack's dpkg-shlibdeps (and file) for the .deb; groff for the man page test
  dpkg-dev file groff-base
  # the fuzz targets (clang with libFuzzer) and the memcheck run
  clang clang-14 libclang-rt-14-dev valgrind
  # the Windows cross-build and Wine to test it (scripts/win64_test.sh)
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64
  # the Windows installer (scripts/package_win64.sh)
  nsis
)
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The Windows build restores the WebView2 SDK (a NuGet package) with the
# .NET SDK's own client. Debian does not package it; this kind of machine
# comes with it.
if ! command -v dotnet >/dev/null; then
  echo "setup: the .NET SDK's dotnet is not on PATH; the Windows build needs it" >&2
  exit 1
fi

# The frontend is a pinned npm dependency, never committed.
if [ ! -d frontend/node_modules/chii/public/front_end ] ||
   [ frontend/package-lock.json -nt frontend/node_modules/.package-lock.json ]; then
  (cd frontend && npm ci --ignore-scripts --no-audit --no-fund)
fi

# The engines the matrix tests run against, pinned the same way.
if [ ! -x tests/engines/node_modules/node26/bin/node ] ||
   [ ! -f tests/engines/node_modules/node22-win/bin/node.exe ] ||
   [ tests/engines/package-lock.json -nt tests/engines/node_modules/.package-lock.json ]; then
  (cd tests/engines && npm ci --ignore-scripts --no-audit --no-fund)
fi
