#!/usr/bin/env bash
# Installs the Debian 12 packages QOVA needs: `install-deps.sh run` what building and running the
# program takes, `install-deps.sh` (or `test`) that and what its tests, benchmarks and fuzz
# targets take as well. Only packages that are missing are installed; uses sudo when not root.
set -euo pipefail

# Building and running the program; ffmpeg makes the demo's test pictures and tones.
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev libqt6opengl6-dev libgl-dev
  libmpv-dev libsimdjson-dev libexpat1-dev zlib1g-dev liblzma-dev libogg-dev
  ffmpeg fonts-wine fonts-dejavu-core
)
# The tests, the benchmarks and the fuzz targets: their tools, the servers they stream from, a
# virtual display, session and accessibility buses, a sound server whose null sinks they listen
# to, the mpv program they measure against, and gdb for the stacks of a test that hangs.
if [ "${1:-test}" != run ]; then
  packages+=(
    clang-format clang libclang-rt-14-dev
    libgtest-dev libgmock-dev libbenchmark-dev mpv
    xvfb xauth dbus-daemon at-spi2-core desktop-file-utils appstream xdotool
    libx11-dev libxtst-dev
    icecast2 openssl python3-gi gir1.2-gst-rtsp-server-1.0
    pulseaudio libpulse-dev gdb
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly
    gstreamer1.0-libav
  )
fi

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
