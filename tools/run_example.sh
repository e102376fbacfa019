#!/usr/bin/env bash
# The main job: the loopback example through the host simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install_deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j2 --target tesmar-host tesmar >/dev/null
exec build/dev/console/tesmar-host examples/loopback.script "$@"
