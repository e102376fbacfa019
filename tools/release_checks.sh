# shellcheck shell=bash
# The checks of the release zip, one function each, for tools/check_release.sh
# and for the test that makes each of them meet the fault it is for
# (tests/release/release_checks_test.sh). Sourced from the repository's root;
# every check says what is wrong on standard error and returns 1.
#   expected_files VERSION           the zip's file list, in its order
#   check_file_list ZIP VERSION      exactly those files, in that order
#   check_entry_times ZIP            every entry has one and the same time
#   check_module ZIP TESTED_SHA256   its Tesmar.x32 has the bytes that passed
#   check_unpacked DIR VERSION CONSOLE   unpacked: the sources' files, the build's console
#   check_pages DIR                  the HTML pages: a title, every link leads somewhere
#   check_resources DIR VERSION PRODUCT COPYRIGHT   the version resources

release_top() {
  echo "Tesmar-$1-win32"
}

expected_files() {
  local top
  top=$(release_top "$1")
  {
    printf '%s\n' CHANGELOG.md INSTALL.txt LICENSE.txt Tesmar.x32 tesmar-host.exe \
      docs/console.html docs/console.md docs/reference.html docs/reference.md
    git ls-files -- 'examples/*.script' 'examples/*.play'
  } | sed "s|^|$top/|" | LC_ALL=C sort
}

check_file_list() {
  local zip=$1 version=$2 difference
  difference=$(diff <(expected_files "$version") <(unzip -Z1 "$zip")) || {
    echo "$zip: the file list is not the expected one (< expected, > in the zip):" >&2
    echo "$difference" >&2
    return 1
  }
}

check_entry_times() {
  local zip=$1 times
  times=$(unzip -Z -T "$zip" | awk '$1 ~ /^-/ {print $7}' | sort -u)
  if [ "$(echo "$times" | wc -l)" != 1 ] || [ -z "$times" ]; then
    echo "$zip: its entries carry different times: $(echo "$times" | tr '\n' ' ')" >&2
    return 1
  fi
}

check_module() {
  local zip=$1 tested=$2 got
  # Filters here read to the end: one that stops early kills unzip with
  # SIGPIPE, which pipefail reports as a failure.
  got=$(unzip -p "$zip" "$(unzip -Z1 "$zip" | awk '/\/Tesmar\.x32$/ && !n++')" | sha256sum | cut -d' ' -f1)
  if [ "$got" != "$tested" ]; then
    echo "$zip: its Tesmar.x32 (sha256 $got) is not the one that passed the Windows stage ($tested)" >&2
    return 1
  fi
}

check_unpacked() {
  local dir=$1 version=$2 console=$3 top pair status=0
  top=$dir/$(release_top "$version")
  for pair in LICENSE:LICENSE.txt CHANGELOG.md:CHANGELOG.md docs/install.txt:INSTALL.txt \
    docs/reference.md:docs/reference.md docs/console.md:docs/console.md \
    "$console":tesmar-host.exe; do
    if ! cmp -s "${pair%%:*}" "$top/${pair#*:}"; then
      echo "$top/${pair#*:} is not ${pair%%:*}" >&2
      status=1
    fi
  done
  local example
  while read -r example; do
    cmp -s "$example" "$top/$example" || {
      echo "$top/$example is not $example" >&2
      status=1
    }
  done < <(git ls-files -- 'examples/*.script' 'examples/*.play')
  return $status
}

check_pages() {
  local dir=$1 page target status=0
  for page in "$dir"/*/docs/*.html; do
    grep -q '<title>[^<]' "$page" || {
      echo "$page has no title" >&2
      status=1
    }
    while read -r target; do
      case "$target" in
        http://* | https://* | mailto:*) ;;
        \#*)
          grep -q "id=\"${target#\#}\"" "$page" || {
            echo "$page: the link $target leads nowhere on the page" >&2
            status=1
          }
          ;;
        *.html | *.html\#*)
          [ -f "$(dirname "$page")/${target%%#*}" ] || {
            echo "$page: the link $target leads to no page of the zip" >&2
            status=1
          }
          ;;
        *)
          echo "$page: the link $target leads to no page" >&2
          status=1
          ;;
      esac
    done < <(grep -o 'href="[^"]*"' "$page" | sed 's/^href="//; s/"$//' | sort -u)
  done
  return $status
}

check_resources() {
  local dir=$1 version=$2 product=$3 copyright=$4 top pair status=0
  top=$dir/$(release_top "$version")
  for pair in Tesmar.x32:DLL tesmar-host.exe:APP; do
    cmake "-DFILE=$top/${pair%%:*}" "-DNAME=${pair%%:*}" "-DKIND=${pair#*:}" \
      "-DVERSION=$version" "-DPRODUCT=$product" "-DCOPYRIGHT=$copyright" \
      -P tests/windows/check_version_resource.cmake >/dev/null || status=1
  done
  return $status
}
