#!/usr/bin/env bash
# Every test: the native build (debug, warnings as errors) and the style
# checks, the sanitizer builds (asan: clang's AddressSanitizer with every
# UndefinedBehaviorSanitizer check, function-pointer types included; tsan;
# the fault sweep runs in dev and asan), the fuzzers for a short fixed time
# each under ASan and UBSan, then the Windows stage (every test of the shipped
# 32-bit DLL under 32-bit Wine, and of the 64-bit build under 64-bit Wine, on
# the real winmm), and the release zip made and checked
# (tools/check_release.sh). Installs what is missing (as root), including the
# means to run 32-bit code, first, so that a machine that cannot run the
# Windows stage fails at once.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install_deps.sh native style fuzz console windows release

# Configured afresh: a build directory that an older preset left (another
# compiler, other flags) must not keep its cache, and CMake drops a preset's
# flags when it finds the compiler changed.
run_preset() {
  local preset=$1
  cmake --preset "$preset" --fresh -DTESMAR_WERROR=ON >/dev/null
  cmake --build --preset "$preset" -j2
  ctest --preset "$preset" -j2
}

run_preset dev
tools/check_style.sh build/dev
run_preset asan
run_preset tsan
tools/fuzz.sh 30
tools/windows_tests.sh
tools/check_release.sh
