#!/usr/bin/env bash
# The Windows stage: installs what it needs when missing (as root), cross-builds
# the windows-x86 preset (Tesmar.x32, the loopback driver, the test programs,
# tesmar-host.exe) and runs its tests, the Windows programs under Wine in a
# private prefix that the first test creates.
#
# Where the kernel cannot run 32-bit x86 programs, Wine cannot either: the
# build and the checks of the DLLs' exports and imports still run, and the
# tests that need Wine are reported as not run. TESMAR_REQUIRE_WINE=1 makes
# that a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install_deps.sh

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
command -v wine >/dev/null || need+=(wine)
[ -e /usr/lib/wine/wine ] || need+=(wine32:i386)
if [ ${#need[@]} -gt 0 ]; then
  [ "$(id -u)" = 0 ] || { echo "missing packages: ${need[*]} (run as root)" >&2; exit 1; }
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi

cmake --preset windows-x86 -DTESMAR_WERROR=ON >/dev/null
cmake --build --preset windows-x86 -j2

if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  ctest --preset windows-x86 -j2
  exit 0
fi

cat >&2 <<'NOTICE'
================================================================================
windows_tests.sh: this machine cannot run 32-bit x86 programs (the kernel's
IA-32 emulation is off), so Wine cannot run the Windows programs. Built, and
checked without running: exports and imports of Tesmar.x32 and wineloop.drv.
NOT RUN: the Windows test programs, the examples through tesmar-host.exe and
the loopback driver tests under Wine.
================================================================================
NOTICE
ctest --preset windows-x86 -L pe
if [ "${TESMAR_REQUIRE_WINE:-0}" = 1 ]; then
  exit 1
fi
