#!/usr/bin/env bash
# Builds the libFuzzer targets (clang 14, ASan and UBSan) and runs each one
# for SECONDS from a scratch copy of its seed corpus; fails if any crashes.
#   fuzz/run.sh SECONDS
# FUZZ_BUILD_DIR (default build-fuzz) and FUZZ_JOBS (targets run at once,
# default 1) may be set. A crashing input is kept in $FUZZ_BUILD_DIR/crashes.
set -euo pipefail
seconds=${1:?usage: fuzz/run.sh SECONDS}
cd "$(dirname "$0")/.."
build=${FUZZ_BUILD_DIR:-build-fuzz}
jobs=${FUZZ_JOBS:-1}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVORBEK_FUZZ=ON -DVORBEK_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target vorbek_fuzz

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Runs one target; its summary line goes to $scratch/<target>/summary.
run_target() {
  local target=$1 dir=$scratch/$1
  mkdir -p "$dir/corpus" "$dir/artifacts"
  cp -r "fuzz/corpus/$target/." "$dir/corpus/"
  local options=(-max_total_time="$seconds" -print_final_stats=1 -timeout=10
                 -artifact_prefix="$dir/artifacts/")
  [ -f "fuzz/dict/$target.dict" ] && options+=(-dict="fuzz/dict/$target.dict")
  local status=0
  "$build/fuzz/$target" "${options[@]}" "$dir/corpus" >"$dir/log" 2>&1 || status=$?
  local done execs
  done=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$dir/log" | tail -1 || true)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)
  printf '%-24s execs %-10s %s\n' "$target" "${execs:-?}" \
    "$(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [^ ]+' <<<"$done" || echo 'no final stats')" >"$dir/summary"
  if [ "$status" != 0 ]; then
    mkdir -p "$build/crashes"
    cp "$dir"/artifacts/* "$build/crashes/" 2>/dev/null || true
    { echo "FAIL: $target exited with status $status"; tail -40 "$dir/log"
      echo "inputs kept in $build/crashes; reproduce with: $build/fuzz/$target <input>"; } >"$dir/failure"
  fi
}

targets=()
for corpus in fuzz/corpus/*/; do targets+=("$(basename "$corpus")"); done
echo "fuzz: ${#targets[@]} targets, ${seconds}s each, $jobs at a time"
running=0
for target in "${targets[@]}"; do
  run_target "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then wait -n || true; running=$((running - 1)); fi
done
wait

failed=0
for target in "${targets[@]}"; do
  cat "$scratch/$target/summary"
  if [ -f "$scratch/$target/failure" ]; then cat "$scratch/$target/failure" >&2; failed=1; fi
done
[ "$failed" = 0 ] && echo "fuzz: no crashes"
exit "$failed"
