#!/usr/bin/env bash
# Builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# The suite must leave the user's own web engine data as it found it.
source scripts/user_data.sh
user_data_before=$(user_data_fingerprint)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
bash scripts/package_test.sh
bash scripts/hardening.sh
# The npm packages, before the suites that install and run them (npm_packages,
# win64_npm). The .deb is built by now; the Windows build it starts is the one
# win64_test.sh goes on with.
bash scripts/package_npm.sh
bash scripts/win64_test.sh
# Last, so that its summary closes the run.
status=0
ctest --test-dir build --output-on-failure -j2 || status=$?
check_user_data_unchanged "$user_data_before"
exit "$status"
