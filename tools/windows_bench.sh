#!/usr/bin/env bash
# The stress run through the real winmm: the module sends 100,000 short and
# 200 system-exclusive messages through the loopback driver under Wine and
# reads them back, in rounds that alternate with the same short-message
# traffic through bare winmm (the baseline); prints messages per second and
# send-to-receive latency, medians and ratios against the baseline.
# Runs the windows-x64 build (Tesmar.x64) under 64-bit Wine; TESMAR_BENCH_X86=1
# runs the windows-x86 build (Tesmar.x32) under 32-bit Wine instead, where the
# machine can run 32-bit code. tools/windows_tests.sh installs the tools.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${TESMAR_BENCH_X86:-0}" = 1 ]; then
  preset=windows-x86 runner=tools/wine_run.sh module=Tesmar.x32
else
  preset=windows-x64 runner=tools/wine64_run.sh module=Tesmar.x64
fi
build=build/$preset
cmake --preset $preset >/dev/null
cmake --build "$build" -j2 --target loopback_stress tesmar wineloop >/dev/null
exec $runner "$build/bench/windows/loopback_stress.exe" "$PWD/$build/host/$module"
