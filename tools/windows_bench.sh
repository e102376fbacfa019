#!/usr/bin/env bash
# The stress run through the real winmm: Tesmar.x32 sends 100,000 short and 200
# system-exclusive messages through the loopback driver under Wine and reads
# them back; prints messages per second and send-to-receive latency.
# Builds the windows-x86 preset's stress program first (tools/windows_tests.sh
# installs the tools).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/windows-x86
cmake --preset windows-x86 >/dev/null
cmake --build "$build" -j2 --target loopback_stress tesmar wineloop >/dev/null
exec tools/wine_run.sh "$build/bench/windows/loopback_stress.exe" "$PWD/$build/host/Tesmar.x32"
