#!/usr/bin/env bash
# Every test: the native build (debug, warnings as errors) and the style
# checks, the sanitizer builds, then the Windows stage (the 32-bit DLL's
# checks, and the Windows build's tests under Wine on the real winmm).
# Installs what is missing (as root).
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
tools/windows_tests.sh
