#!/usr/bin/env bash
# Installs, from Debian packages, everything needed to build, run and test the demo.
# Used by the README's commands and by .ci/run, so a fresh machine gets the same set.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake g++ clang clang-format libclang-rt-14-dev pkg-config
  # X11 and its extensions (windowed and full-screen presenters)
  libx11-dev libxext-dev libxxf86dga-dev libxxf86vm-dev libxpresent-dev
  # soundtrack: module decoding and audio output
  libopenmpt-dev libsdl2-dev openmpt123 sox
  # picture generator: text set with FreeType in a DejaVu face
  libfreetype-dev fonts-dejavu-core
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev libpixman-1-dev libpng-dev valgrind
  # the OBJ-loading benchmark's peer (a header built into vorbo-bench only)
  libtinyobjloader-dev
  # X servers and desktop tools the tests drive
  xvfb xserver-xorg-core xserver-xorg-video-dummy x11-apps x11-utils xdotool imagemagick
  # a real window manager and a Wayland compositor with Xwayland (the desktop program's tests)
  openbox wmctrl weston xwayland
  # full-screen tests: a failing setuid (strace), a faster clock for the -nogfx runs (faketime)
  strace faketime
  # capture program: encoding and muxing
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg
  # the Debian package: its dependencies worked out, and checked
  dpkg-dev lintian
  # misc
  util-linux procps
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
