#!/usr/bin/env bash
# The stress run through the real winmm under Wine: the module sends 100,000
# short and 200 system-exclusive messages through the loopback driver and
# reads them back, in rounds that alternate with the same short-message
# traffic through bare winmm (the baseline); prints messages per second,
# send-to-receive latency and where one message's time goes, as medians and
# ratios against the baseline of the same run.
#   tools/windows_bench.sh [x86|x64|both] [rounds]     (default: both, 5)
# x86 runs the product, Tesmar.x32, under 32-bit Wine (emulated where the
# kernel runs no 32-bit code: compare its figures only with its own
# baseline); x64 runs Tesmar.x64 under 64-bit Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
which=${1:-both}
rounds=${2:-5}
case "$which" in
  x86) presets=(windows-x86) ;;
  x64) presets=(windows-x64) ;;
  both) presets=(windows-x86 windows-x64) ;;
  *) echo "usage: $0 [x86|x64|both] [rounds]" >&2; exit 2 ;;
esac
tools/install_deps.sh native windows
for preset in "${presets[@]}"; do
  if [ $preset = windows-x86 ]; then
    bits=32 module=Tesmar.x32
  else
    bits=64 module=Tesmar.x64
  fi
  build=build/$preset
  cmake --preset $preset >/dev/null
  cmake --build "$build" -j2 --target loopback_stress tesmar wineloop wine_prefix >/dev/null
  echo "== $module under $bits-bit Wine"
  tools/wine_run.sh $bits "$build/bench/windows/loopback_stress.exe" "$PWD/$build/host/$module" \
    "$rounds" | tr -d '\r'
done
