#!/usr/bin/env bash
# Installs the dependencies, builds the demo and plays it.
#
# Usage: scripts/play.sh [PROGRAM] [SWITCHES...]
#
# PROGRAM is one of the show's programs (default vorbo-desktop):
#   vorbo-desktop             the show as composed: full screen on today's desktops
#                             (X11 or Wayland), picture on the music's clock;
#                             Space pauses, Left/Right go to the previous/next scene
#   vorbo-window              in a 640 x 480 window, on the wall clock
#   vorbo-fullscreen          full screen through DGA; needs root (start it with sudo)
#   vorbo-window-legacy, vorbo-fullscreen-legacy
#                             the same, built against the pre-C++11 library ABI
# SWITCHES: -nosound (no soundtrack), -nogfx (draw into memory, show nothing).
# Escape (q in vorbo-desktop), or the window manager's close, ends the show early.
set -euo pipefail
cd "$(dirname "$0")/.."

program=vorbo-desktop
case "${1:-}" in
  -h | --help)
    sed -n '4,15p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
    ;;
  vorbo-*)
    program=$1
    shift
    ;;
esac

if [ -z "${DISPLAY:-}" ] && [[ " $* " != *" -nogfx "* ]]; then
  echo "play.sh: there is no X display here (DISPLAY is not set): add -nogfx to run the show without showing it, or record it with build/vorbo-capture (scripts/build.sh builds it)" >&2
  exit 1
fi

bash scripts/build.sh
cd build
exec "./$program" "$@"
