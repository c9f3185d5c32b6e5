#!/usr/bin/env bash
# Runs the real program for a given number of minutes (60 by default; the second argument, the
# minutes between restarts of the servers, 10 by default) on a virtual display and
# a session bus of its own, against the loopback servers, zapping every 5 s; prints resident
# memory every minute and fails when the program died, hung, grew or lost a file.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target qova_soak
exec dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24" \
  env QT_QPA_PLATFORM=xcb build/default/bench/qova_soak "${1:-60}" ${2:+"$2"}
