#!/usr/bin/env bash
# Builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
bash scripts/package_test.sh
bash scripts/hardening.sh
bash scripts/win64_test.sh
# Last, so that its summary closes the run.
ctest --test-dir build --output-on-failure -j2
