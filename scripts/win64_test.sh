#!/usr/bin/env bash
# Cross-builds the Windows program (build-win64/) and runs its tests under
# Wine. Needs the native asset_table_gen, which it builds in build/ first.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build build -j2 --target asset_table_gen
cmake --preset win64
cmake --build --preset win64
ctest --preset win64
