#!/usr/bin/env bash
# Builds the Windows package in build-win64/: the 64-bit installer
# vorbek_inspector-<version>-win64-setup.exe and the portable
# vorbek_inspector-<version>-win64.zip, and prints their paths. Needs the
# native asset_table_gen, which it builds in build/ first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >&2
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
fi
cmake --build build -j2 --target asset_table_gen >&2
cmake --preset win64 >&2
cmake --build --preset win64 --target win64_package >&2
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-win64/CMakeCache.txt)
ls "build-win64/vorbek_inspector-$version-win64-setup.exe" "build-win64/vorbek_inspector-$version-win64.zip"
