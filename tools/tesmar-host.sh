#!/usr/bin/env bash
# The script console for authors, from anywhere: builds tesmar-host and the
# plug-in (the dev build) when they are not up to date, then runs tesmar-host
# with the arguments given, in the caller's directory:
#   tools/tesmar-host.sh --frames 6 --play examples/monitor.play examples/monitor.script
# The build's output is shown only when the build fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
log=$root/build/tesmar-host-build.log
mkdir -p "$root/build"
if ! (cd "$root" && tools/install_deps.sh native console &&
  { [ -f build/dev/CMakeCache.txt ] || cmake --preset dev; } &&
  cmake --build --preset dev -j2 --target tesmar-host tesmar) >"$log" 2>&1; then
  cat "$log" >&2
  echo "tesmar-host.sh: the build failed (above; also in $log)" >&2
  exit 1
fi
# The build says where the console is (it moves with its target).
console=$(sed -n 's/^console //p' "$root/build/dev/artifacts.txt")
[ -x "$console" ] || {
  echo "tesmar-host.sh: build/dev/artifacts.txt names no console that runs ($console)" >&2
  exit 1
}
exec "$console" "$@"
