#!/usr/bin/env bash
# Builds the npm packages as tarballs in build-npm/ and prints their paths:
# the launcher, and the Linux and Windows programs. The Linux program is
# the .deb's (build-deb/, scripts/package.sh), the Windows one the win64
# preset's (build-win64/, which needs the native asset_table_gen in build/).
# Nothing is published.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >&2

bash scripts/package.sh >/dev/null
cmake --build build-deb -j2 --target npm_stage >&2

if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
fi
cmake --build build -j2 --target asset_table_gen >&2
cmake --preset win64 >&2
cmake --build --preset win64 --target npm_stage >&2

rm -rf build-npm
mkdir -p build-npm
# Each build stages in npm/ exactly the packages it makes (packaging/npm.cmake).
for stage in build-deb/npm/*/ build-win64/npm/*/; do
  # Its own cache, so that packing reads nothing of the user's.
  (cd "$stage" && npm pack --pack-destination "$OLDPWD/build-npm" --cache "$OLDPWD/build-npm/.cache" \
     --silent >/dev/null)
done
rm -rf build-npm/.cache
ls build-npm/*.tgz
