#!/usr/bin/env bash
# Runs a Windows program of the windows-x86 build under Wine, in the build's
# own prefix (<build>/wineprefix), with the loopback MIDI driver installed and
# chosen. Used by ctest as the cross-compiling emulator:
#   tools/wine_run.sh <program.exe> [arguments...]
#   tools/wine_run.sh --prepare <build dir>    (only make the prefix ready)
# The prefix is made on first use (about 10 s), under a lock so that parallel
# tests wait for one another; the build prepares it so that listing the tests
# does not pay for it. TESMAR_BUILD_DIR overrides the build directory,
# which is otherwise the nearest parent of the program holding CMakeCache.txt.
#
# Where this machine cannot run 32-bit Wine, the program is not started: the
# run reports "[  SKIPPED ]" and exits 77, and a test listing names one
# placeholder test, so that ctest skips rather than fails (and preparing does
# nothing). tools/wine64_run.sh is the 64-bit build's runner, which never skips.
set -euo pipefail

prepare_only=false
if [ "${1:-}" = --prepare ] && [ $# -eq 2 ]; then
  prepare_only=true
  TESMAR_BUILD_DIR=$2
  program=
elif [ $# -ge 1 ] && [ "$1" != --prepare ]; then
  program=$1
  shift
else
  echo "usage: $0 program.exe [arguments...] | --prepare build-dir" >&2
  exit 2
fi

find_build_dir() {
  local dir
  dir=$(cd "$(dirname "$program")" && pwd)
  while [ "$dir" != / ]; do
    if [ -f "$dir/CMakeCache.txt" ]; then
      echo "$dir"
      return
    fi
    dir=$(dirname "$dir")
  done
  pwd
}

skip() {
  local reason=$1
  if $prepare_only; then
    exit 0
  fi
  for arg in "$@"; do
    if [ "$arg" = --gtest_list_tests ]; then
      printf 'WineUnavailable.\n  %s\n' "$(basename "$program" .exe | tr -c 'A-Za-z0-9_\n' _)"
      exit 0
    fi
  done
  echo "[  SKIPPED ] not run: $reason"
  exit 77
}

# 32-bit Wine needs the kernel to run 32-bit x86 programs; some kernels have
# that switched off.
if ! command -v wine >/dev/null 2>&1; then
  skip "wine is not installed (tools/windows_tests.sh installs it)" "$@"
fi
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  skip "this machine cannot run 32-bit x86 programs, so not 32-bit Wine either" "$@"
fi

build_dir=$(cd "${TESMAR_BUILD_DIR:-$(find_build_dir)}" && pwd)
export WINEPREFIX="$build_dir/wineprefix"
export WINEARCH=win32
export WINEDEBUG=-all
# No prompts to install the .NET and HTML engines into a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="

driver="$build_dir/loopdrv/wineloop.drv"
system32="$WINEPREFIX/drive_c/windows/system32"

exec 9>"$build_dir/wineprefix.lock"
flock 9
if [ ! -f "$WINEPREFIX/.tesmar-ready" ]; then
  rm -rf "$WINEPREFIX"
  if ! timeout 180 wineboot -i >"$build_dir/wineprefix.log" 2>&1 9>&-; then
    echo "wine_run.sh: creating the Wine prefix failed; see $build_dir/wineprefix.log" >&2
    exit 1
  fi
  # The loopback driver replaces Wine's own audio and MIDI devices here.
  wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d loop /f >>"$build_dir/wineprefix.log" 2>&1 9>&-
  wineserver -w
  touch "$WINEPREFIX/.tesmar-ready"
fi
if [ -f "$driver" ] && ! cmp -s "$driver" "$system32/wineloop.drv"; then
  cp "$driver" "$system32/wineloop.drv.new"
  mv "$system32/wineloop.drv.new" "$system32/wineloop.drv"
fi
# The session's own processes start with the first program and keep its
# output open until the server ends, which would hold ctest up: start them
# here, writing nowhere (as tools/wine64_run.sh does).
if wineserver -p20 </dev/null >/dev/null 2>&1 9>&-; then
  wine cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
fi
exec 9>&-
if $prepare_only; then
  exit 0
fi

# Windows programs end their lines with CR LF; ctest reads test listings as
# they come, so those lose the CR.
for arg in "$@"; do
  if [ "$arg" = --gtest_list_tests ]; then
    wine "$program" "$@" | tr -d '\r'
    exit
  fi
done
exec wine "$program" "$@"
