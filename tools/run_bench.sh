#!/usr/bin/env bash
# The benchmarks: an optimised build, then each program with repetitions so
# that medians can be read. The peer queues are measured when their Debian
# packages are installed (installed here when missing, as root).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install_deps.sh native
if [ "$(id -u)" = 0 ]; then
  tools/install_deps.sh bench
fi
cmake --preset release >/dev/null
cmake --build --preset release -j2 --target engine_bench winmm_bench simwinmm_bench
for bench in engine/engine_bench winmm/winmm_bench simwinmm/simwinmm_bench; do
  echo "== $bench"
  build/release/bench/$bench --benchmark_repetitions=9 --benchmark_report_aggregates_only=true \
    --benchmark_display_aggregates_only=true "$@" 2>/dev/null | grep -E '_median|^Benchmark|^-'
done
