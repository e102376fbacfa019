#!/usr/bin/env bash
# Runs a Windows program of the Windows build under Wine of the given word
# size (32: windows-x86, the product; 64: windows-x64), in the build's own
# prefix (<build>/wineprefix), with the loopback MIDI driver installed in its
# system32 and chosen as the audio driver, so that the program meets Wine's
# real winmm. ctest uses it as the cross-compiling emulator:
#   tools/wine_run.sh 32|64 <program.exe> [arguments...]
#   tools/wine_run.sh 32|64 --prepare <build dir>    (only make the prefix ready)
# The prefix is made on first use (10 to 45 s), under a lock so that parallel
# tests wait for one another; the build prepares it so that listing the tests
# does not pay for it. TESMAR_BUILD_DIR overrides the build directory, which
# is otherwise the nearest parent of the program holding CMakeCache.txt.
# Nothing is skipped: every step is checked, and without a Wine that runs the
# run fails. 32-bit Wine needs 32-bit x86 programs to run, through qemu-i386
# where the kernel runs none (tools/install_deps.sh windows sets that up).
set -euo pipefail

usage() {
  echo "usage: $0 32|64 program.exe [arguments...] | $0 32|64 --prepare build-dir" >&2
  exit 2
}

fail() {
  echo "wine_run.sh: $*" >&2
  exit 1
}

[ $# -ge 2 ] || usage
bits=$1
shift
prepare_only=false
if [ "$1" = --prepare ] && [ $# -eq 2 ]; then
  prepare_only=true
  TESMAR_BUILD_DIR=$2
  program=
elif [ "$1" != --prepare ]; then
  program=$1
  shift
else
  usage
fi

# Debian's `wine` picks the 32-bit loader whenever wine32 is installed: name
# each loader itself. The 64-bit server serves the clients of both.
case "$bits" in
  32) loader=/usr/lib/wine/wine arch=win32 package=wine32:i386 ;;
  64) loader=/usr/lib/wine/wine64 arch=win64 package=wine64 ;;
  *) usage ;;
esac
server=/usr/lib/wine/wineserver64
[ -x "$loader" ] || fail "$bits-bit Wine is not installed ($loader; package $package: tools/install_deps.sh windows)"
[ -x "$server" ] || fail "the Wine server is not installed ($server; package wine64: tools/install_deps.sh windows)"

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
export WINEARCH=$arch
export WINEDEBUG=-all
export WINELOADER=$loader
export WINESERVER=$server
# No prompts to install the .NET and HTML engines into a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="

driver="$build_dir/loopdrv/wineloop.drv"
system32="$WINEPREFIX/drive_c/windows/system32"
log="$build_dir/wineprefix.log"

exec 9>"$build_dir/wineprefix.lock"
flock 9
if [ ! -f "$WINEPREFIX/.tesmar-ready" ]; then
  "$loader" --version >/dev/null 2>&1 9>&- ||
    fail "$bits-bit Wine does not start ($loader): this machine cannot run its code (tools/install_deps.sh windows, as root, sets up 32-bit x86 programs)"
  rm -rf "$WINEPREFIX"
  timeout 300 "$loader" wineboot -i >"$log" 2>&1 9>&- ||
    fail "creating the $bits-bit Wine prefix failed; see $log"
  # The loopback driver replaces Wine's own audio and MIDI devices here.
  timeout 120 "$loader" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d loop /f >>"$log" 2>&1 9>&- ||
    fail "setting the audio driver in the $bits-bit Wine prefix failed; see $log"
  "$server" -w 9>&- || fail "the Wine server did not end after preparing the prefix"
  touch "$WINEPREFIX/.tesmar-ready"
fi
[ -f "$driver" ] || fail "$driver is not built (target wineloop)"
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
if "$server" -p20 </dev/null >/dev/null 2>&1 9>&-; then
  timeout 300 "$loader" cmd /c exit </dev/null >/dev/null 2>&1 9>&- ||
    fail "$bits-bit Wine cannot start a program in $WINEPREFIX"
fi
exec 9>&-

if $prepare_only; then
  exit 0
fi

# Windows programs end their lines with CR LF; ctest reads test listings as
# they come, so those lose the CR.
for arg in "$@"; do
  if [ "$arg" = --gtest_list_tests ]; then
    "$loader" "$program" "$@" | tr -d '\r'
    exit
  fi
done
exec "$loader" "$program" "$@"
