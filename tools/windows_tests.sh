#!/usr/bin/env bash
# The Windows stage. Installs what it needs when missing (as root), then:
#  - windows-x86: cross-builds the product (Tesmar.x32, the loopback driver,
#    the test programs, tesmar-host.exe) and checks the DLLs' exports, imports
#    and the absence of build paths, which needs no Wine. Where this machine
#    can run 32-bit x86 code, every other test of that build runs under 32-bit
#    Wine as well.
#  - windows-x64: the same sources as 64-bit Windows programs, and every test
#    (test programs, loopback driver, the examples through tesmar-host.exe and
#    Tesmar.x64) under 64-bit Wine on Wine's real winmm with the loopback
#    driver. This part always runs; it fails if 64-bit Wine cannot start.
# Exits nonzero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install_deps.sh

# Whether the kernel runs 32-bit x86 programs (some have that switched off):
# a 93-byte static i386 program that only exits.
can_run_32bit() {
  local probe
  probe=$(mktemp)
  base64 -d >"$probe" <<'ELF'
f0VMRgEBAQAAAAAAAAAAAAIAAwABAAAAVIAECDQAAAAAAAAAAAAAADQAIAABAAAAAAAAAAEAAAAAAAAAAIAECACABAhdAAAAXQAAAAUAAAAAEAAAuAEAAAAx282A
ELF
  chmod +x "$probe"
  local status=0
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  return $status
}

run32=false
if can_run_32bit; then
  run32=true
fi

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686)
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
if $run32; then
  command -v wine >/dev/null || need+=(wine)
  [ -e /usr/lib/wine/wine ] || need+=(wine32:i386)
fi
if [ ${#need[@]} -gt 0 ]; then
  [ "$(id -u)" = 0 ] || { echo "missing packages: ${need[*]} (run as root)" >&2; exit 1; }
  if $run32 && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi

failed=0
stage() {
  echo "== windows_tests.sh: $*"
}

stage "windows-x86 build"
cmake --preset windows-x86 -DTESMAR_WERROR=ON >/dev/null
cmake --build --preset windows-x86 -j2
if $run32; then
  stage "windows-x86 tests under 32-bit Wine"
  ctest --preset windows-x86 -j2 || failed=1
else
  stage "windows-x86 DLL checks (this kernel runs no 32-bit code: no 32-bit Wine)"
  ctest --preset windows-x86 -L pe || failed=1
fi

stage "windows-x64 build"
cmake --preset windows-x64 -DTESMAR_WERROR=ON >/dev/null
cmake --build --preset windows-x64 -j2
stage "windows-x64 tests under 64-bit Wine"
ctest --preset windows-x64 -j2 || failed=1

exit $failed
