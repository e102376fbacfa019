#!/usr/bin/env bash
# The code passes the project's clang-format and, for the product, the
# stand-ins and the console, its clang-tidy checks. Needs a configured build
# dir (compile commands) as its argument.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
tools/install_deps.sh style
git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run --Werror
# Only what this build compiles: the Windows-only sources have no entry in
# a native build's compile commands.
out=$(ls host/*.cpp engine/*.cpp winmm/*.cpp simwinmm/*.cpp hostsim/*.cpp console/*.cpp \
        console/language/*.cpp |
      while read -r file; do
        grep -q "\"file\": \"$PWD/$file\"" "$build/compile_commands.json" && echo "$file"
      done |
      xargs -r -P2 -n6 clang-tidy -p "$build" --quiet 2>/dev/null | grep -E 'warning:|error:' || true)
if [ -n "$out" ]; then
  echo "$out"
  exit 1
fi
echo "style: clang-format and clang-tidy clean"
