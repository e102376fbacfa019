#!/usr/bin/env bash
# Runs a Windows program of the windows-x64 build under 64-bit Wine, in the
# build's own 64-bit prefix (<build>/wineprefix), with the loopback MIDI driver
# installed in its system32 and chosen as the audio driver, so that the program
# meets Wine's real winmm. Used by ctest as the cross-compiling emulator:
#   tools/wine64_run.sh <program.exe> [arguments...]
#   tools/wine64_run.sh --prepare <build dir>    (only make the prefix ready)
# The prefix is made on first use (6 to 16 s here), under a lock so that parallel
# tests wait for one another; the build prepares it so that listing the tests
# does not pay for it. TESMAR_BUILD_DIR overrides the build directory, which
# is otherwise the nearest parent of the program holding CMakeCache.txt.
# Nothing is skipped here: without a working 64-bit Wine the run fails.
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

# Debian's `wine` starts the 32-bit loader whenever wine32 is installed, even
# where the kernel cannot run it: call the 64-bit loader and server directly.
wine64=${TESMAR_WINE64:-/usr/lib/wine/wine64}
wineserver64=${TESMAR_WINESERVER64:-/usr/lib/wine/wineserver64}
if [ ! -x "$wine64" ] || [ ! -x "$wineserver64" ]; then
  echo "wine64_run.sh: 64-bit Wine not found ($wine64, $wineserver64);" \
       "install the package wine64 (tools/windows_tests.sh does)" >&2
  exit 1
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

build_dir=$(cd "${TESMAR_BUILD_DIR:-$(find_build_dir)}" && pwd)
export WINEPREFIX="$build_dir/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINELOADER="$wine64"
export WINESERVER="$wineserver64"
# No prompts to install the .NET and HTML engines into a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="

driver="$build_dir/loopdrv/wineloop.drv"
system32="$WINEPREFIX/drive_c/windows/system32"
log="$build_dir/wineprefix.log"

exec 9>"$build_dir/wineprefix.lock"
flock 9
if [ ! -f "$WINEPREFIX/.tesmar-ready" ]; then
  rm -rf "$WINEPREFIX"
  if ! timeout 180 "$wine64" wineboot -i >"$log" 2>&1 9>&-; then
    echo "wine64_run.sh: creating the 64-bit Wine prefix failed; see $log" >&2
    exit 1
  fi
  # The loopback driver replaces Wine's own audio and MIDI devices here.
  if ! timeout 60 "$wine64" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d loop /f \
       >>"$log" 2>&1 9>&-; then
    echo "wine64_run.sh: setting the audio driver failed; see $log" >&2
    exit 1
  fi
  "$wineserver64" -w
  touch "$WINEPREFIX/.tesmar-ready"
fi
if [ ! -f "$driver" ]; then
  echo "wine64_run.sh: $driver is not built (target wineloop)" >&2
  exit 1
fi
if ! cmp -s "$driver" "$system32/wineloop.drv"; then
  cp "$driver" "$system32/wineloop.drv.new"
  mv "$system32/wineloop.drv.new" "$system32/wineloop.drv"
fi
# The session's own processes (services, devices, desktop) start with the
# first program and keep whatever output it had: ctest would wait for them to
# close its pipes, which they do only when the server ends. So the session
# starts here, writing nowhere, with a server that outlives each program by
# some seconds (ctest runs one program after another). A server already
# running refuses to start a second one.
if "$wineserver64" -p20 </dev/null >/dev/null 2>&1 9>&-; then
  if ! "$wine64" cmd /c exit </dev/null >/dev/null 2>&1 9>&-; then
    echo "wine64_run.sh: 64-bit Wine cannot start a program in $WINEPREFIX" >&2
    exit 1
  fi
fi
exec 9>&-

if $prepare_only; then
  exit 0
fi

# Windows programs end their lines with CR LF; ctest reads test listings as
# they come, so those lose the CR.
for arg in "$@"; do
  if [ "$arg" = --gtest_list_tests ]; then
    set -o pipefail
    "$wine64" "$program" "$@" | tr -d '\r'
    exit
  fi
done
exec "$wine64" "$program" "$@"
