#!/usr/bin/env bash
# The Windows stage. Installs what it needs when missing (as root), including
# the means to run 32-bit x86 programs where the kernel runs none, then:
#  - windows-x86: the product (Tesmar.x32), the loopback driver, the test
#    programs and tesmar-host.exe, cross-built; the DLLs' exports, imports and
#    the absence of build paths; and every other test under 32-bit Wine on
#    Wine's real winmm with the loopback driver: the unit tests, the examples
#    through tesmar-host.exe and Tesmar.x32, the driver's tests and a round of
#    the loopback stress.
#  - windows-x64: the same sources as 64-bit Windows programs, every test
#    under 64-bit Wine.
# Nothing is skipped: a stage that cannot run fails, and so does a test that
# reports itself skipped. Exits nonzero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install_deps.sh native windows release

failed=0
note() {
  echo "== windows_tests.sh: $*"
}

# ctest passes skipped tests; here they count as failures.
run_ctest() {
  local preset=$1 log status=0
  log=$(mktemp)
  ctest --preset "$preset" -j2 --no-tests=error --output-on-failure 2>&1 | tee "$log" || status=$?
  if grep -qE '\*\*\*Skipped|Not Run' "$log"; then
    echo "windows_tests.sh: $preset: tests were skipped" >&2
    status=1
  fi
  rm -f "$log"
  return $status
}

# What passed the stage, for the release: the zip ships only that module
# (tools/check_release.sh compares).
tested=build/windows-x86/tested-module.sha256
record_tested() {
  local module
  module=$(sed -n 's/^module //p' build/windows-x86/artifacts.txt)
  sha256sum "$module" | cut -d' ' -f1 >"$tested"
}

for preset in windows-x86 windows-x64; do
  bits=32
  [ $preset = windows-x64 ] && bits=64
  start=$SECONDS
  if [ $preset = windows-x86 ]; then
    rm -f "$tested"
  fi
  note "$preset build"
  cmake --preset $preset -DTESMAR_WERROR=ON >/dev/null
  cmake --build --preset $preset -j2
  note "$preset tests under $bits-bit Wine"
  if ! run_ctest $preset; then
    failed=1
  elif [ $preset = windows-x86 ]; then
    record_tested
  fi
  note "$preset: $((SECONDS - start)) s"
done

exit $failed
