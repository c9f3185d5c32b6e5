#!/usr/bin/env bash
# The Debian package, unpacked into a temporary root whose program folder nobody may write, run
# by two users with temporary homes: the desktop entry and the AppStream data validate, the
# libraries it needs were computed, each user's files appear in their own data folder, and
# nothing is written beside the program. Usage: package_test.sh <build folder>
set -euo pipefail
build=$1
work=$(mktemp -d /tmp/qova-package-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
deb=$(ls "$work"/package/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
[[ $depends == *libmpv* && $depends == *libqt6widgets6* ]] || fail "library dependencies missing"
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/qova.desktop"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.qova.Qova.metainfo.xml" >/dev/null
[ -f "$work/root/usr/share/icons/hicolor/scalable/apps/qova.svg" ] || fail "no icon"
[ -L "$work/root/usr/bin/qova" ] || fail "no qova command"

program=$work/root/usr/lib/qova
[ -x "$program/qova" ] && [ -f "$program/Config.txt" ] && [ -f "$program/Player.html" ] ||
  fail "the program folder is incomplete"
chmod -R a-w "$program"
before=$(ls -lA --time-style=full-iso "$program")

# One user's directory is the unpacked demo's, named in the Config.txt of their data folder; the
# other has only the package's default, which points where the package is not installed here.
data1=$work/home1/.local/share/qova
mkdir -p "$data1"
printf 'URLTXT=file://%s/demo/directory.txt\r\n' "$program" >"$data1/Config.txt"
mkdir -p "$work/home2"

run() {  # home, file that shows the program got as far as it can
  HOME=$1 XDG_DATA_HOME='' QT_QPA_PLATFORM=offscreen "$program/qova" >"$1/log" 2>&1 &
  local pid=$!
  pids+=("$pid")
  # Polled, at most 30 s: the program tells nothing when it has stored its files.
  for _ in $(seq 300); do
    [ -f "$2" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  [ -f "$2" ] || { cat "$1/log" >&2; fail "$2 never appeared"; }
}
run "$work/home1" "$data1/Channel.txt"
run "$work/home2" "$work/home2/.local/share/qova/Player.html"

grep -q "Demo" "$data1/Channel.txt" || fail "the first user's directory is not the demo's"
cmp -s "$program/Player.html" "$data1/Player.html" || fail "the player page was not given"
[ ! -e "$work/home2/.local/share/qova/Channel.txt" ] || fail "the second user got the first's channels"
[ "$before" == "$(ls -lA --time-style=full-iso "$program")" ] || fail "the program folder changed"
echo "package test passed"
