#!/usr/bin/env bash
# The release check, after tools/windows_tests.sh (the test command runs it
# so): makes the zip with tools/make_release.sh and checks it as a script
# author gets it.
#  - Packed twice, it has the same bytes; every entry has the same time.
#  - Its file list is exactly the expected one, in order.
#  - Its Tesmar.x32 is the one that passed the Windows stage (same bytes).
#  - Its documents, examples and console are the sources' and the build's;
#    its HTML pages have a title and every link leads somewhere.
#  - The version resources of its Tesmar.x32 and tesmar-host.exe read back
#    the project's version (exiftool), and its tesmar-host.exe --version says
#    the same under 32-bit Wine.
#  - Unpacked, its tesmar-host.exe runs the loopback example under 32-bit
#    Wine with the zip's own Tesmar.x32 and prints the golden output; without
#    that Tesmar.x32 beside it, it finds none.
#  - Each check refuses a zip with the fault it is for
#    (tests/release/release_checks_test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
tools/install_deps.sh native windows release
# shellcheck source=tools/release_checks.sh
. tools/release_checks.sh

fail() {
  echo "check_release.sh: $*" >&2
  exit 1
}
note() {
  echo "== check_release.sh: $*"
}

start=$SECONDS
build=build/windows-x86
tested_record=$build/tested-module.sha256
[ -s $tested_record ] ||
  fail "no Tesmar.x32 has passed the Windows stage in $build (no $tested_record): run tools/windows_tests.sh first"
tested=$(cat $tested_record)

note "packing"
zip=$(tools/make_release.sh)
again=$(tools/make_release.sh --out build/dist/again)
cmp "$zip" "$again" || fail "two packings of one build differ: $zip and $again"
rm -rf build/dist/again

artifact() {
  sed -n "s/^$1 //p" $build/artifacts.txt
}
version=$(artifact version)
project_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' $build/CMakeCache.txt)
[ "$version" = "$project_version" ] ||
  fail "$build/artifacts.txt says version $version, project() says $project_version"
[ "$(basename "$zip")" = "Tesmar-$version-win32.zip" ] || fail "$zip is not named for version $version"
note "$zip: $(stat -c %s "$zip") bytes, sha256 $(sha256sum "$zip" | cut -d' ' -f1)"

note "the zip's files"
failed=0
check_file_list "$zip" "$version" || failed=1
check_entry_times "$zip" || failed=1
check_module "$zip" "$tested" || failed=1
unpacked=build/dist/check
rm -rf $unpacked
unzip -q -d $unpacked "$zip"
check_unpacked $unpacked "$version" "$(artifact console)" || failed=1
check_pages $unpacked || failed=1
grep -qxF "$(artifact copyright)" LICENSE || {
  echo "LICENSE does not carry the line '$(artifact copyright)'" >&2
  failed=1
}
note "the version resources"
check_resources $unpacked "$version" "$(artifact product)" "$(artifact copyright)" || failed=1
[ $failed = 0 ] || fail "the zip $zip is not right (see above)"

note "the unpacked console under 32-bit Wine"
top=$root/$unpacked/$(release_top "$version")
export TESMAR_BUILD_DIR=$root/$build
said=$(tools/wine_run.sh 32 "$top/tesmar-host.exe" --version | tr -d '\r')
[ "$said" = "tesmar-host $version" ] || fail "the zip's tesmar-host.exe --version says '$said'"
cmake "-DPROGRAM=$top/tesmar-host.exe" "-DEMULATOR=$root/tools/wine_run.sh;32" \
  "-DARGS=$top/examples/loopback.script" -DEXPECT_STDOUT=examples/loopback.expected \
  -DSTDERR_EMPTY=ON -P tests/console/run_console.cmake ||
  fail "the zip's tesmar-host.exe and Tesmar.x32 do not run the loopback example as expected"
# Alone, the console finds no module: the one above was the zip's own.
alone=$root/$unpacked/alone
mkdir -p "$alone"
cp "$top/tesmar-host.exe" "$alone/"
cmake "-DPROGRAM=$alone/tesmar-host.exe" "-DEMULATOR=$root/tools/wine_run.sh;32" \
  "-DARGS=$top/examples/loopback.script" -DEXPECT_EXIT=3 "-DSTDERR_CONTAINS=cannot load module" \
  -P tests/console/run_console.cmake ||
  fail "tesmar-host.exe without the zip's Tesmar.x32 beside it still found a module"

note "the checks themselves"
tests/release/release_checks_test.sh "$zip" "$tested"

if grep -q '^### Pending' CHANGELOG.md; then
  note "note: CHANGELOG.md still lists work pending for $version"
fi
note "passed in $((SECONDS - start)) s"
