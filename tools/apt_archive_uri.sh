#!/usr/bin/env bash
# Prints the first archive URI whose suites include the given release, from
# apt source files in both forms (one-line .list, deb822 .sources): where the
# machine's own apt fetches that release from.
#   tools/apt_archive_uri.sh <codename> [source files...]
# Without files: /etc/apt/sources.list, /etc/apt/sources.list.d/*.list and
# *.sources. Prints nothing, and fails, when no source names the release.
set -euo pipefail
shopt -s nullglob
[ $# -ge 1 ] || { echo "usage: $0 codename [source files...]" >&2; exit 2; }
codename=$1
shift
[ $# -gt 0 ] || set -- /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources

found=$(
  for file in "$@"; do
    [ -f "$file" ] || continue
    case "$file" in
      *.sources)
        # Stanzas are paragraphs; a field may go on over indented lines.
        awk -v c="$codename" '
          BEGIN { RS = ""; FS = "\n" }
          {
            types = ""; uris = ""; suites = ""; enabled = "yes"; key = ""
            for (i = 1; i <= NF; i++) {
              line = $i
              if (line ~ /^#/) continue
              if (match(line, /^[A-Za-z-]+:/)) {
                key = tolower(substr(line, 1, RLENGTH - 1)); value = substr(line, RLENGTH + 1)
              } else {
                value = line
              }
              if (key == "types") types = types " " value
              else if (key == "uris") uris = uris " " value
              else if (key == "suites") suites = suites " " value
              else if (key == "enabled") enabled = value
            }
            gsub(/[ \t]/, "", enabled)
            if (tolower(enabled) == "no" || (types " ") !~ /[ \t]deb[ \t]/) next
            n = split(suites, s, " ")
            for (j = 1; j <= n; j++) if (s[j] == c) { split(uris, u, " "); print u[1]; next }
          }' "$file"
        ;;
      *)
        # deb [options] uri suite components...
        awk -v c="$codename" '
          $1 == "deb" {
            i = 2
            if ($i ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
            if ($(i + 1) == c) print $i
          }' "$file"
        ;;
    esac
  done
)
[ -n "$found" ] || exit 1
echo "${found%%$'\n'*}"
