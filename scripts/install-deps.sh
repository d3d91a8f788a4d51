#!/usr/bin/env bash
# Installs, from Debian packages, everything needed to build, run and test the demo.
# Used by the README's commands and by .ci/run, so a fresh machine gets the same set.
#
#   scripts/install-deps.sh        the x86-64 set
#   scripts/install-deps.sh i386   that, plus the 32-bit x86 build's (scripts/test-i386.sh):
#                                  g++'s -m32 libraries and Debian's :i386 multiarch packages,
#                                  installed beside the x86-64 ones (the i386 architecture is
#                                  added to dpkg once)
set -euo pipefail

with_i386=0
case "${1:-}" in
  "") ;;
  i386) with_i386=1 ;;
  *) echo "usage: $0 [i386]" >&2; exit 2 ;;
esac

packages=(
  # toolchain
  build-essential cmake g++ clang clang-format libclang-rt-14-dev pkg-config
  # X11 and its extensions (windowed and full-screen presenters; the desktop one's monitors,
  # presented regions and screen saver)
  libx11-dev libxext-dev libxxf86dga-dev libxxf86vm-dev libxpresent-dev
  libxrandr-dev libxfixes-dev libxss-dev
  # Wayland (the desktop program's native client): the client library, wayland-scanner, the
  # protocol descriptions, and keymaps
  libwayland-dev libwayland-bin wayland-protocols libxkbcommon-dev
  # soundtrack: module decoding and audio output (a sound server's stream, or SDL2); a private
  # sound server for the lip-sync measurement and the desktop show's test
  libopenmpt-dev libsdl2-dev libpulse-dev openmpt123 sox pulseaudio pulseaudio-utils
  # picture generator: text set with FreeType in a DejaVu face
  libfreetype-dev fonts-dejavu-core
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev libpixman-1-dev libpng-dev valgrind
  # the OBJ-loading benchmark's peer (a header built into vorbo-bench only)
  libtinyobjloader-dev
  # X servers and desktop tools the tests drive
  xvfb xserver-xorg-core xserver-xorg-video-dummy x11-apps x11-utils x11-xserver-utils xdotool
  imagemagick
  # a real window manager and a Wayland compositor with Xwayland (the desktop program's tests)
  openbox wmctrl weston xwayland
  # full-screen tests: a failing setuid (strace), a faster clock for the -nogfx runs (libfaketime)
  strace faketime libfaketime
  # capture program: encoding and muxing
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg
  # the Debian packages: built with debhelper, checked (lintian, hardening-check from devscripts,
  # appstreamcli, desktop-file-validate); a reproducible build is checked a day later (faketime)
  dpkg-dev debhelper lintian devscripts appstream desktop-file-utils
  # misc
  util-linux procps
)

# The 32-bit x86 build: the compiler's 32-bit runtime, and the libraries its programs, tests and
# benchmarks link and its tests preload (faketime), for i386. The media generators are host
# tools, so FreeType and FFmpeg are not needed for i386.
i386_packages=(
  g++-multilib
  libx11-dev:i386 libxext-dev:i386 libxxf86dga-dev:i386 libxxf86vm-dev:i386 libxpresent-dev:i386
  libxrandr-dev:i386 libxfixes-dev:i386 libxss-dev:i386 libwayland-dev:i386 libxkbcommon-dev:i386
  libopenmpt-dev:i386 libsdl2-dev:i386 libpulse-dev:i386
  libgtest-dev:i386 libgmock-dev:i386 libbenchmark-dev:i386 libpixman-1-dev:i386 libpng-dev:i386
  libfaketime:i386
  # the converter tests on an emulated CPU with MMX and no SSE2
  qemu-user
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

new_architecture=0
if [ "$with_i386" -eq 1 ]; then
  packages+=("${i386_packages[@]}")
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    new_architecture=1
  fi
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -eq 0 ] && [ "$new_architecture" -eq 0 ]; then
  exit 0
fi

$SUDO apt-get update -qq
if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
