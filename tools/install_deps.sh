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
#            (64- and 32-bit), and a way to run 32-bit x86 programs: where the
#            kernel runs none, qemu-i386 (8.1 or later, from the backports suite
#            of the Debian archive this machine's apt already uses) is
#            registered with binfmt_misc for i386 ELF programs. Nothing is
#            registered where 32-bit programs run natively.
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

install_packages() {
  [ ${#packages[@]} -gt 0 ] || return 0
  is_root || fail "missing packages: ${packages[*]} (run tools/install_deps.sh as root)"
  if $i386_needed && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq || fail "apt-get update failed"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${packages[@]}" >/dev/null ||
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

# ---------------------------------------------------------------- 32-bit code

# A 93-byte static i386 program that only exits: fails with ENOEXEC where the
# kernel runs no 32-bit code and nothing is registered to run it.
runs_32bit() {
  local probe status=0
  probe=$(mktemp)
  base64 -d >"$probe" <<'ELF'
f0VMRgEBAQAAAAAAAAAAAAIAAwABAAAAVIAECDQAAAAAAAAAAAAAADQAIAABAAAAAAAAAAEAAAAAAAAAAIAECACABAhdAAAAXQAAAAUAAAAAEAAAuAEAAAAx282A
ELF
  chmod +x "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  return $status
}

binfmt=/proc/sys/fs/binfmt_misc
qemu_dir=/usr/local/lib/tesmar-qemu
qemu=$qemu_dir/qemu-i386
# i386 ELF executables: class 32-bit, little-endian, type EXEC or DYN, machine 3.
i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# "qemu-i386 version 10.0.2 (Debian ...)" -> 10.0.2; empty if it does not run.
qemu_version() {
  "$1" --version 2>/dev/null | sed -n '1s/^qemu-i386 version \([0-9][0-9.]*\).*/\1/p'
}

# Wine needs MAP_FIXED_NOREPLACE honoured, which qemu does from 8.1 on (7.2
# takes it as a hint, and Wine's address-space reservation then fails).
version_at_least_8_1() {
  local major minor
  IFS=. read -r major minor _ <<<"$1"
  [ -n "$major" ] || return 1
  [ "$major" -gt 8 ] || { [ "$major" -eq 8 ] && [ "${minor:-0}" -ge 1 ]; }
}

# Installs qemu-i386 from <codename>-backports in $qemu_dir, with apt's
# lists, cache and sources kept in a scratch directory: the system's apt
# state does not change.
fetch_qemu() {
  local codename uri arch work
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || fail "cannot tell the Debian release (no VERSION_CODENAME in /etc/os-release) to fetch qemu-i386"
  uri=$("$(dirname "$0")/apt_archive_uri.sh" "$codename") ||
    fail "no archive for $codename in the apt sources to fetch qemu-i386 from"
  arch=$(dpkg --print-architecture)
  work=$(mktemp -d)
  # shellcheck disable=SC2064
  trap "rm -rf '$work'" EXIT
  mkdir -p "$work/sources" "$work/lists/partial" "$work/cache/archives/partial" "$work/deb"
  cat >"$work/sources/backports.sources" <<EOF
Types: deb
URIs: $uri
Suites: $codename-backports
Components: main
Architectures: $arch
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  local private=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$work/sources"
                 -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache"
                 -o Acquire::Languages=none -o APT::Sandbox::User=root)
  local log=/tmp/tesmar-qemu-fetch.log
  apt-get -qq "${private[@]}" update >"$log" 2>&1 ||
    fail "cannot read $codename-backports from $uri to fetch qemu-i386 (see $log)"
  (cd "$work/deb" && apt-get -qq "${private[@]}" download "qemu-user/$codename-backports") \
    >>"$log" 2>&1 || fail "cannot download qemu-user from $codename-backports at $uri (see $log)"
  local debs=("$work"/deb/qemu-user_*.deb)
  [ ${#debs[@]} -eq 1 ] || fail "qemu-user from $codename-backports: no package file"
  dpkg -x "${debs[0]}" "$work/x" || fail "cannot unpack ${debs[0]}"
  local got=$work/x/usr/bin/qemu-i386 version
  [ -x "$got" ] || fail "qemu-user from $codename-backports holds no usr/bin/qemu-i386"
  version=$(qemu_version "$got")
  version_at_least_8_1 "$version" ||
    fail "qemu-i386 from $codename-backports is version ${version:-unknown}; Wine needs 8.1 or later"
  mkdir -p "$qemu_dir"
  install -m 755 "$got" "$qemu.new"
  mv -f "$qemu.new" "$qemu"
  rm -rf "$work"
  trap - EXIT
  echo "install_deps.sh: qemu-i386 $version installed in $qemu_dir" >&2
}

# A registration that makes the probe pass can still be one that cannot
# carry Wine (qemu older than 8.1): say so rather than fail later in Wine.
check_registered_emulator() {
  [ -d "$binfmt" ] || return 0
  local entry interpreter version
  for entry in "$binfmt"/*; do
    [ -f "$entry" ] && grep -qx enabled "$entry" 2>/dev/null || continue
    grep -q "^magic 7f454c4601010100000000000000000002000300\$" "$entry" 2>/dev/null || continue
    interpreter=$(sed -n 's/^interpreter //p' "$entry")
    case "$(basename "$interpreter")" in
      qemu-i386*) ;;
      *) continue ;;
    esac
    version=$(qemu_version "$interpreter")
    if [ -n "$version" ] && ! version_at_least_8_1 "$version"; then
      fail "$entry runs 32-bit programs with qemu-i386 $version, which cannot carry Wine (8.1 or later needed); remove it (echo -1 > $entry) and run again"
    fi
  done
}

set_up_32bit() {
  if runs_32bit; then
    check_registered_emulator
    return 0
  fi
  is_root || fail "this machine runs no 32-bit x86 programs; run tools/install_deps.sh windows as root to set up qemu-i386"
  if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
      fail "cannot mount binfmt_misc on $binfmt to run 32-bit x86 programs"
  fi
  if [ ! -x "$qemu" ] || ! version_at_least_8_1 "$(qemu_version "$qemu")"; then
    fetch_qemu
  fi
  local entry=$binfmt/qemu-i386
  if [ -e "$entry" ]; then
    # Ours but not working (disabled, or registered before the file was
    # replaced): register again. Someone else's: leave it alone.
    grep -qx "interpreter $qemu" "$entry" ||
      fail "$entry exists ($(sed -n 's/^interpreter //p' "$entry")) but 32-bit programs do not run; remove it (echo -1 > $entry) and run again"
    echo -1 >"$entry"
  fi
  printf '%s' ":qemu-i386:M::$i386_magic:$i386_mask:$qemu:FPC" >"$binfmt/register" ||
    fail "cannot register $qemu with binfmt_misc"
  runs_32bit || fail "qemu-i386 is registered, yet the 32-bit probe program still does not run"
  echo "install_deps.sh: 32-bit x86 programs run through $qemu" >&2
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
    set_up_32bit
  fi
done
