#!/usr/bin/env bash
# The fuzzers: builds the fuzz preset (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each target for a fixed time, from its
# seed corpus in fuzz/corpus/<target>, growing a working corpus under the build
# directory. An input that makes a target fail is copied to
# fuzz/crashes/<target>/, where ctest replays it in every build from then on.
#   tools/fuzz.sh [seconds per target, default 30] [target...]
# Prints the executions of each target; exits nonzero when one failed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(queue callback send console play_file)
fi
tools/install_deps.sh fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target "${targets[@]/%/_fuzz}"

failed=0
for target in "${targets[@]}"; do
  work=build/fuzz/corpus/$target
  artifacts=build/fuzz/artifacts/$target
  mkdir -p "$work" "$artifacts"
  log=build/fuzz/$target.log
  status=0
  "build/fuzz/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$work" "fuzz/corpus/$target" \
    >"$log" 2>&1 || status=$?
  runs=$(grep -m1 -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' || echo 0)
  if [ $status -ne 0 ]; then
    failed=1
    mkdir -p "fuzz/crashes/$target"
    for found in "$artifacts"/*; do
      [ -f "$found" ] && cp "$found" "fuzz/crashes/$target/"
    done
    echo "fuzz $target: FAILED after $runs executions; the input is in fuzz/crashes/$target/ (log: $log)"
    grep -m5 -E 'MISMATCH|ERROR|SUMMARY|BROKEN|leak' "$log" || true
  else
    echo "fuzz $target: $runs executions in ${seconds} s, no failure"
  fi
done
exit $failed
