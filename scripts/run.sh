#!/usr/bin/env bash
# Builds QOVA and starts it. Installs missing Debian packages first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
exec build/default/qova/qova "$@"
