#!/usr/bin/env bash
# The release: Tesmar-<version>-win32.zip, what a script author downloads.
#   tools/make_release.sh [--out DIR]     (default DIR: build/dist)
# Builds Tesmar.x32 and tesmar-host.exe in the windows-x86 build where they
# are not up to date (after tools/windows_tests.sh they are, so the zip holds
# the very files that stage tested), renders the docs as HTML pages, and packs
# everything in a fixed order with one fixed time on every entry (the
# commit's): the same commit gives the same bytes. Prints the zip's path on
# standard output; the build's own output goes to standard error.
set -euo pipefail

fail() {
  echo "make_release.sh: $*" >&2
  exit 1
}

root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/dist
while [ $# -gt 0 ]; do
  case "$1" in
    --out)
      [ $# -ge 2 ] || fail "--out needs a directory"
      out=$2
      shift 2
      ;;
    *) fail "unknown argument '$1' (usage: tools/make_release.sh [--out DIR])" ;;
  esac
done

cd "$root"
tools/install_deps.sh native release >&2

build=build/windows-x86
if [ ! -f $build/CMakeCache.txt ]; then
  cmake --preset windows-x86 >&2
fi
cmake --build --preset windows-x86 -j2 --target tesmar tesmar-host >&2

artifact() {
  sed -n "s/^$1 //p" $build/artifacts.txt
}
version=$(artifact version)
module=$(artifact module)
console=$(artifact console)
[ -n "$version" ] && [ -f "$module" ] && [ -f "$console" ] ||
  fail "$build/artifacts.txt does not name a version, a module and a console that exist"
[ "$(basename "$module")" = Tesmar.x32 ] || fail "$module is not the 32-bit module Tesmar.x32"

# Tracked files only, where there is a checkout: what the commit holds.
examples() {
  if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git -C "$root" ls-files -- 'examples/*.script' 'examples/*.play'
  else
    ls examples/*.script examples/*.play
  fi
}

# The commit's time, or a fixed one outside a checkout.
epoch=$(git -C "$root" log -1 --format=%ct 2>/dev/null) || epoch=1767225600

name=Tesmar-$version-win32
mkdir -p "$out"
out=$(cd "$out" && pwd)
stage=$(mktemp -d "$out/.stage.XXXXXX")
# shellcheck disable=SC2064
trap "rm -rf '$stage'" EXIT
top=$stage/$name
mkdir -p "$top/docs" "$top/examples"

put() {
  install -m 644 "$1" "$top/$2"
}
put "$module" Tesmar.x32
put "$console" tesmar-host.exe
put docs/install.txt INSTALL.txt
put LICENSE LICENSE.txt
put CHANGELOG.md CHANGELOG.md
for doc in reference console; do
  put docs/$doc.md docs/$doc.md
  # The page's title is the document's first heading; links between the
  # documents lead to their pages.
  title=$(sed -n '1s/^# //p' docs/$doc.md)
  [ -n "$title" ] || fail "docs/$doc.md does not start with a '# ' heading"
  pandoc --from gfm --to html5 --standalone --metadata "pagetitle=$title" --metadata lang=en \
    --lua-filter tools/release/links.lua --include-in-header tools/release/page-style.html \
    --output "$top/docs/$doc.html" docs/$doc.md || fail "pandoc could not render docs/$doc.md"
  chmod 644 "$top/docs/$doc.html"
done
while read -r example; do
  put "$example" "examples/$(basename "$example")"
done < <(examples)

find "$stage" -exec touch -h -d "@$epoch" {} +
zip=$out/$name.zip
rm -f "$zip.new"
# -X: no extra fields (owners, access times); -D: no folder entries. zip
# writes DOS times in local time: UTC on every machine.
(cd "$stage" && find "$name" -type f | LC_ALL=C sort |
  TZ=UTC0 zip -X -D -9 -q -@ "$zip.new") || fail "zip failed"
mv -f "$zip.new" "$zip"
echo "$zip"
