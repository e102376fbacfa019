#!/usr/bin/env bash
# The one place that installs packages: what the named parts need, only what
# is missing (as root), so that it is quick when everything is there.
#   tools/install_deps.sh [native] [style] [bench] [fuzz] [console] [windows] [release]
# No argument means native.
#   native   cmake, g++, GoogleTest, Google Benchmark
#   style    clang-format, clang-tidy
#   bench    the peer MIDI libraries the benchmarks compare with
#   fuzz     clang and its libFuzzer runtime
#   console  libedit (line editing in the console)
#   windows  the mingw-w64 cross compilers, GoogleTest's sources, Wine 8
#            (64- and 32-bit), and a way to run 32-bit x86 programs
#            (tools/set_up_32bit.sh)
#   release  what the release zip is made and checked with: the 32-bit cross
#            compiler and GoogleTest's sources (the windows-x86 build), zip and
#            unzip, pandoc (the docs as HTML pages), exiftool (reads the
#            version resources back)
# Fails with one line saying what is missing when it cannot do its work.
set -euo pipefail
shopt -s nullglob

fail() {
  echo "install_deps.sh: $*" >&2
  exit 1
}

is_root() {
  [ "$(id -u)" = 0 ]
}

packages=()
need() {
  packages+=("$@")
}

want_native() {
  command -v cmake >/dev/null || need cmake
  command -v g++ >/dev/null || need g++
  [ -f /usr/include/gtest/gtest.h ] || need libgtest-dev libgmock-dev
  [ -f /usr/include/benchmark/benchmark.h ] || need libbenchmark-dev
}

want_style() {
  command -v clang-format >/dev/null || need clang-format
  command -v clang-tidy >/dev/null || need clang-tidy
}

want_bench() {
  dpkg -s librtmidi-dev >/dev/null 2>&1 || need librtmidi-dev
  dpkg -s libportmidi-dev >/dev/null 2>&1 || need libportmidi-dev
}

want_fuzz() {
  command -v clang >/dev/null || need clang
  local runtime=(/usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a)
  [ ${#runtime[@]} -gt 0 ] || need libclang-rt-14-dev
}

want_console() {
  [ -f /usr/include/histedit.h ] || need libedit-dev
}

want_release() {
  command -v zip >/dev/null || need zip
  command -v unzip >/dev/null || need unzip
  command -v pandoc >/dev/null || need pandoc
  command -v exiftool >/dev/null || need libimage-exiftool-perl
  command -v i686-w64-mingw32-g++-posix >/dev/null || need g++-mingw-w64-i686
  [ -f /usr/src/googletest/CMakeLists.txt ] || need googletest
}

i386_needed=false
want_windows() {
  command -v i686-w64-mingw32-g++-posix >/dev/null || need g++-mingw-w64-i686
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || need g++-mingw-w64-x86-64
  [ -f /usr/src/googletest/CMakeLists.txt ] || need googletest
  command -v wine >/dev/null || need wine
  [ -x /usr/lib/wine/wine64 ] || need wine64
  if [ ! -x /usr/lib/wine/wine ]; then
    need wine32:i386
    i386_needed=true
  fi
}

apt_install() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" "${packages[@]}" >/dev/null
}

codename() {
  # shellcheck source=/dev/null
  . /etc/os-release && echo "$VERSION_CODENAME"
}

install_packages() {
  [ ${#packages[@]} -gt 0 ] || return 0
  is_root || fail "missing packages: ${packages[*]} (run tools/install_deps.sh as root)"
  if $i386_needed && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  # A mirror caught mid-sync fails one update and serves the next: try again,
  # and let the install decide whether the indexes we have are enough.
  local try
  for try in 1 2 3; do
    apt-get update -qq && break
    echo "install_deps.sh: apt-get update failed (try $try of 3)" >&2
    sleep $((try * 10))
  done
  for try in 1 2 3; do
    apt_install && return 0
    echo "install_deps.sh: apt-get install failed (try $try of 3)" >&2
    # A security mirror out of step with its Release file loses its i386
    # index; an i386 twin then cannot match its amd64 package's security
    # version. The release itself holds both twins at one version.
    if $i386_needed; then
      apt_install -t "$(codename)" && return 0
      echo "install_deps.sh: apt-get install -t $(codename) failed too" >&2
    fi
    sleep $((try * 10))
    apt-get update -qq || true
  done
  fail "could not install: ${packages[*]}"
}

# ---------------------------------------------------------------- Wine 8

# loopdrv is a driver of Wine 8's model; later Wine wants a Unix part as well.
check_wine_version() {
  local version
  version=$(dpkg-query -W -f '${Version}' wine64 2>/dev/null) || fail "wine64 is not installed"
  version=${version#*:}
  [ "${version%%.*}" = 8 ] || fail "Wine $version is installed; loopdrv needs Wine 8"
}

# ---------------------------------------------------------------- main

[ $# -gt 0 ] || set -- native
for part in "$@"; do
  case "$part" in
    native | style | bench | fuzz | console | windows | release) "want_$part" ;;
    *) fail "unknown part '$part' (native, style, bench, fuzz, console, windows, release)" ;;
  esac
done
install_packages
for part in "$@"; do
  if [ "$part" = windows ]; then
    check_wine_version
    "$(dirname "$0")/set_up_32bit.sh"
  fi
done
