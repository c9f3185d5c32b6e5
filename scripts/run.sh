#!/usr/bin/env bash
# Builds QOVA and starts it. Installs the Debian packages building and running it need first
# (not those of the tests), and builds the program alone, in build/program.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run
cmake --preset program >/dev/null
cmake --build --preset program
exec build/program/qova/qova "$@"
