#!/usr/bin/env bash
# Hardening checks, run by scripts/test.sh once build/ is built: the whole
# suite again under ASan and UBSan in build-asan, every fuzz target for
# FUZZ_SECONDS (default 45), and build/'s --print-url paths under valgrind.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "hardening: the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer"
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS="$sanitize" -DCMAKE_CXX_FLAGS="$sanitize" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
source tests/sanitizers/options.sh
cmake --build build-asan -j2
# npm_packages runs the packed release programs, none of this build's;
# e2e_console_filter times the page's own script over thousands of lines,
# no code of the program's that the sanitizers could watch.
ctest --test-dir build-asan --output-on-failure -j2 -E '^(npm_packages|e2e_console_filter)$'

echo "hardening: fuzz targets"
FUZZ_JOBS=${FUZZ_JOBS:-2} bash fuzz/run.sh "${FUZZ_SECONDS:-45}"

echo "hardening: --print-url under valgrind"
PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 tests/valgrind/print_url.py build/inspector/vorbek_inspector
