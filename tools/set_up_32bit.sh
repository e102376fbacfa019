#!/usr/bin/env bash
# Makes this machine run 32-bit x86 programs, as Wine's 32-bit half needs:
# where the kernel runs none, qemu-i386 (8.1 or later, from the backports
# suite of the Debian archive this machine's apt already uses, fetched without
# touching apt's own state) is installed in /usr/local/lib/tesmar-qemu and
# registered with binfmt_misc for i386 ELF programs (until the next reboot).
# Nothing is registered where 32-bit programs run natively. Idempotent.
# Fails with one line saying what is missing when it cannot do its work.
set -euo pipefail
shopt -s nullglob

fail() {
  echo "set_up_32bit.sh: $*" >&2
  exit 1
}

is_root() {
  [ "$(id -u)" = 0 ]
}

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
  echo "set_up_32bit.sh: qemu-i386 $version installed in $qemu_dir" >&2
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
  is_root || fail "this machine runs no 32-bit x86 programs; run tools/set_up_32bit.sh (or tools/install_deps.sh windows) as root to set up qemu-i386"
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
  echo "set_up_32bit.sh: 32-bit x86 programs run through $qemu" >&2
}

set_up_32bit
