#!/usr/bin/env bash
# Every test: the native build (debug, warnings as errors), then the
# sanitizer builds.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install_deps.sh

run_preset() {
  local preset=$1
  cmake --preset "$preset" -DTESMAR_WERROR=ON >/dev/null
  cmake --build --preset "$preset" -j2
  ctest --preset "$preset" -j2
}

run_preset dev
tools/check_style.sh build/dev
run_preset asan
run_preset tsan
