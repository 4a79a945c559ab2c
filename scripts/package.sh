#!/usr/bin/env bash
# Builds the Debian package build-deb/vorbek-inspector_<version>_<arch>.deb
# with Debian's hardening flags, and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >&2

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cflags="$(dpkg-buildflags --get CFLAGS) $cppflags"
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $cppflags"
# --as-needed keeps Depends to the libraries the binary really uses.
ldflags="$(dpkg-buildflags --get LDFLAGS) -Wl,--as-needed"

cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=None -DVORBEK_BUILD_TESTS=OFF \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >&2
cmake --build build-deb -j2 >&2
rm -f build-deb/vorbek-inspector_*.deb
(cd build-deb && cpack -G DEB >&2)
ls build-deb/vorbek-inspector_*.deb
