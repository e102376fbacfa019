#!/usr/bin/env bash
# Each check of tools/release_checks.sh meets the fault it is for, in a copy
# of a good release zip, and must refuse it; a check that passes anything
# would let a wrong zip ship. Run from tools/check_release.sh:
#   tests/release/release_checks_test.sh ZIP TESTED_SHA256
# (what the build says of itself is read from build/windows-x86/artifacts.txt).
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/release_checks.sh
[ $# = 2 ] || {
  echo "usage: $0 ZIP TESTED_SHA256" >&2
  exit 2
}
good=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
tested=$2
artifact() {
  sed -n "s/^$1 //p" build/windows-x86/artifacts.txt
}
console=$(artifact console)
product=$(artifact product)
copyright=$(artifact copyright)
# sed reads the whole list: head would leave unzip to die of SIGPIPE.
top=$(unzip -Z1 "$good" | sed -n '1s|/.*||p')
version=${top#Tesmar-}
version=${version%-win32}

work=$PWD/build/dist/mutants
rm -rf "$work"
mkdir -p "$work"
passed=0
failed=0

# refuses NAME CHECK ARGS...: the check must return 1.
refuses() {
  local name=$1
  shift
  if "$@" 2>"$work/$name.err"; then
    echo "release_checks_test: $name: '$1' passed a zip with that fault" >&2
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
}

# A fresh copy of the good zip, unpacked in $work/NAME/unpacked.
mutant() {
  local dir=$work/$1
  mkdir -p "$dir/unpacked"
  cp "$good" "$dir/release.zip"
  unzip -q -d "$dir/unpacked" "$good"
  echo "$dir"
}

# Packs DIR/unpacked again as make_release.sh does (one time, sorted order).
repack() {
  local dir=$1 order=${2:-sort}
  rm -f "$dir/release.zip"
  find "$dir/unpacked" -exec touch -h -d @1767225600 {} +
  (cd "$dir/unpacked" && find "$top" -type f | LC_ALL=C $order |
    TZ=UTC0 zip -X -D -9 -q -@ "$dir/release.zip")
}

# The good zip passes every check, so that each refusal below is its fault's.
dir=$(mutant good)
check_file_list "$good" "$version" && check_entry_times "$good" &&
  check_module "$good" "$tested" && check_unpacked "$dir/unpacked" "$version" "$console" &&
  check_pages "$dir/unpacked" &&
  check_resources "$dir/unpacked" "$version" "$product" "$copyright" || {
  echo "release_checks_test: the good zip was refused" >&2
  failed=$((failed + 1))
}

dir=$(mutant stray-file)
echo notes >"$work/notes.txt"
(cd "$work" && mkdir -p "$top/examples" && cp notes.txt "$top/examples/" &&
  zip -q -X "$dir/release.zip" "$top/examples/notes.txt")
refuses stray-file check_file_list "$dir/release.zip" "$version"

dir=$(mutant missing-page)
zip -q -d "$dir/release.zip" "$top/docs/console.html"
refuses missing-page check_file_list "$dir/release.zip" "$version"

dir=$(mutant other-order)
repack "$dir" "sort -r"
refuses other-order check_file_list "$dir/release.zip" "$version"

dir=$(mutant own-time)
touch "$dir/unpacked/$top/INSTALL.txt"
(cd "$dir/unpacked" && zip -q -X "$dir/release.zip" "$top/INSTALL.txt")
refuses own-time check_entry_times "$dir/release.zip"

dir=$(mutant other-module)
printf '\0' >>"$dir/unpacked/$top/Tesmar.x32"
repack "$dir"
refuses other-module check_module "$dir/release.zip" "$tested"

dir=$(mutant changed-doc)
echo "one more line" >>"$dir/unpacked/$top/docs/reference.md"
refuses changed-doc check_unpacked "$dir/unpacked" "$version" "$console"

dir=$(mutant other-console)
printf '\0' >>"$dir/unpacked/$top/tesmar-host.exe"
refuses other-console check_unpacked "$dir/unpacked" "$version" "$console"

dir=$(mutant missing-example)
rm "$dir/unpacked/$top/examples/loopback.script"
refuses missing-example check_unpacked "$dir/unpacked" "$version" "$console"

dir=$(mutant dead-anchor)
sed -i 's/href="#status-codes"/href="#no-such-heading"/' "$dir/unpacked/$top/docs/reference.html"
refuses dead-anchor check_pages "$dir/unpacked"

dir=$(mutant markdown-link)
sed -i 's/href="console.html"/href="console.md"/' "$dir/unpacked/$top/docs/reference.html"
refuses markdown-link check_pages "$dir/unpacked"

dir=$(mutant no-title)
sed -i 's|<title>[^<]*</title>|<title></title>|' "$dir/unpacked/$top/docs/console.html"
refuses no-title check_pages "$dir/unpacked"

# The version texts of the resource are UTF-16: their last digit changes,
# the numeric version stays.
dir=$(mutant other-version)
last=${version: -1}
FROM=$version TO=${version%?}$([ "$last" = 9 ] && echo 8 || echo 9) perl -0777 -pi -e '
  BEGIN { ($from, $to) = map { join "", map { "$_\0" } split //, $_ } @ENV{qw(FROM TO)} }
  s/\Q$from\E/$to/g' "$dir/unpacked/$top/Tesmar.x32"
refuses other-version check_resources "$dir/unpacked" "$version" "$product" "$copyright"

dir=$(mutant other-product)
refuses other-product check_resources "$dir/unpacked" "$version" "Another Xtra" "$copyright"

echo "release_checks_test: $passed passed, $failed failed"
[ $failed = 0 ]
