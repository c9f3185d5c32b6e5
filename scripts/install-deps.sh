#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing QOVA need.
# Only packages that are missing are installed; uses sudo when not run as root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format clang libclang-rt-14-dev
  qt6-base-dev qt6-svg-dev libqt6opengl6-dev libgl-dev
  libmpv-dev mpv libsimdjson-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  ffmpeg xvfb xauth dbus-daemon at-spi2-core desktop-file-utils appstream xdotool
  libx11-dev libxtst-dev
  icecast2 python3-gi gir1.2-gst-rtsp-server-1.0
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly gstreamer1.0-libav
  fonts-wine fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
