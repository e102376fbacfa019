#!/usr/bin/env bash
# tools/apt_archive_uri.sh on apt source files of both forms: the archive the
# 32-bit set-up fetches qemu-i386 from is the one the machine's apt uses for
# the release itself.
#   apt_archive_uri_test.sh <path of apt_archive_uri.sh>
set -uo pipefail
script=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0

# expect <name> <expected output, empty for none> <files...>
expect() {
  local name=$1 want=$2 got status
  shift 2
  got=$("$script" bookworm "$@")
  status=$?
  if [ -z "$want" ] && [ $status -eq 0 ]; then
    echo "FAIL $name: found '$got', expected nothing"
    failures=$((failures + 1))
  elif [ -n "$want" ] && [ "$got" != "$want" ]; then
    echo "FAIL $name: found '$got' (status $status), expected '$want'"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

cat >"$dir/debian.sources" <<'SRC'
Types: deb
# a comment inside the stanza
URIs: http://security.example/debian-security
Suites: bookworm-security
Components: main

Types: deb
URIs: http://main.example/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
expect "deb822: the stanza with the release itself" http://main.example/debian "$dir/debian.sources"

cat >"$dir/skipped.sources" <<'SRC'
Types: deb
URIs: http://disabled.example/debian
Suites: bookworm
Components: main
Enabled: no

Types: deb-src
URIs: http://sources-only.example/debian
Suites: bookworm
Components: main

Types: deb deb-src
URIs: http://both.example/debian http://second.example/debian
Suites: bookworm
Components: main
SRC
expect "deb822: disabled and source-only stanzas skipped, first URI" http://both.example/debian \
  "$dir/skipped.sources"

cat >"$dir/one.list" <<'SRC'
# deb http://commented.example/debian bookworm main
deb-src http://src.example/debian bookworm main
deb [arch=amd64 signed-by=/k.gpg] http://updates.example/debian bookworm-updates main
deb [ arch=amd64 ] http://options.example/debian bookworm main contrib
SRC
expect "one-line: options in brackets, exact suite" http://options.example/debian "$dir/one.list"
expect "files in the order given" http://options.example/debian "$dir/one.list" \
  "$dir/debian.sources"

cat >"$dir/other.list" <<'SRC'
deb http://other.example/debian trixie main
SRC
expect "no source for the release" "" "$dir/other.list" "$dir/missing.sources"

[ $failures -eq 0 ]
