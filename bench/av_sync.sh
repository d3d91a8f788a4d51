#!/usr/bin/env bash
# Measures how far the music turns from the picture at each cut of a live show.
#
# Usage: bench/av_sync.sh [--busy] [--asleep] [--runs N] [--keep DIR] PROGRAM [SWITCHES...]
#
# Starts a private PulseAudio server (its own XDG_RUNTIME_DIR) with a null
# sink, and an Xvfb of 640 x 480 at depth 24, so that the frame fills the
# screen at scale 1. The sink's monitor is recorded with the moment of every
# read (vorbo-av-sync record); the screen is watched from outside by polling
# its pixels (vorbo-av-sync watch); PROGRAM (vorbo-desktop, vorbo-window, ...)
# plays the whole show on both. Then vorbo-av-sync offsets prints, for every
# cut, the music's offset against the picture (positive: the music turns
# late), the harness's resolution there, the dropouts and the ending.
#   --busy     one more process keeps a core busy all through the show
#   --asleep   the sink is left to fall asleep (module-suspend-on-idle, 1 s)
#              before the show starts, so the show's own stream wakes it
#   --runs N   N shows, one after another (default 1)
#   --keep DIR keep the recordings and logs of every run in DIR
# Needs the build in build/ (vorbo-av-sync and the programs), pulseaudio,
# pulseaudio-utils and xvfb (scripts/install-deps.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build

busy=0
asleep=0
runs=1
keep=""
while [ $# -gt 0 ]; do
  case "$1" in
    --busy) busy=1 ;;
    --asleep) asleep=1 ;;
    --runs) runs=$2; shift ;;
    --keep) keep=$2; shift ;;
    -h | --help) sed -n '4,22p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) break ;;
  esac
  shift
done
[ $# -ge 1 ] || { echo "usage: bench/av_sync.sh [--busy] [--asleep] [--runs N] [--keep DIR] PROGRAM [SWITCHES...]" >&2; exit 2; }
program=$1
shift
for tool in "$build/vorbo-av-sync" "$build/$program"; do
  [ -x "$tool" ] || { echo "av_sync.sh: $tool is not built (cmake --build build)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/vorbo-av-sync.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Waits until the command succeeds, for at most $1 seconds.
wait_for() {
  local limit=$1
  shift
  local deadline=$((SECONDS + limit))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || { echo "av_sync.sh: gave up waiting for: $*" >&2; return 1; }
    sleep 0.05
  done
}

export HOME=$work/home XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
unset SDL_AUDIODRIVER

modules=(--load=module-native-protocol-unix --load="module-null-sink sink_name=vorbo rate=44100 channels=2")
if [ $asleep -eq 1 ]; then modules+=(--load="module-suspend-on-idle timeout=1"); fi
pulseaudio --daemonize=no --exit-idle-time=-1 -n --realtime=yes --high-priority=yes --log-target=file:"$work/pulse.log" \
  "${modules[@]}" 2>/dev/null &
pids+=($!)
wait_for 10 pactl info

Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for 10 test -s "$work/display"
export DISPLAY=:$(head -n1 "$work/display")

sink_asleep() { pactl list short sinks | grep -q SUSPENDED; }
line_in() { grep -q "$2" "$1"; }

for run in $(seq 1 "$runs"); do
  dir=$work/run-$run
  mkdir -p "$dir"
  "$build/vorbo-av-sync" record vorbo.monitor "$dir/sink.raw" "$dir/sink.times" >"$dir/record.out" &
  recorder=$!
  wait_for 10 line_in "$dir/record.out" recording
  # An idle null sink renders up to 2 s ahead; once the recorder's reads come
  # in its 2 ms fragments, the sink renders in blocks that small. A sink left
  # to sleep sends nothing until the show's stream wakes it.
  if [ $asleep -eq 0 ]; then wait_for 10 test -s "$dir/sink.times"; fi
  (cd "$build" && exec ./vorbo-av-sync watch "$dir/screen.log" >"$dir/watch.out") &
  watcher=$!
  wait_for 30 line_in "$dir/watch.out" watching
  if [ $asleep -eq 1 ]; then wait_for 15 sink_asleep; fi
  hog=""
  if [ $busy -eq 1 ]; then
    (while :; do :; done) &
    hog=$!
  fi

  status=0
  (cd "$build" && exec timeout 120 "./$program" "$@") >"$dir/program.out" 2>&1 || status=$?
  [ -n "$hog" ] && { kill "$hog"; wait "$hog" 2>/dev/null || true; }
  # The sink plays on for a moment after the program has gone: let the last
  # samples reach the recording.
  sleep 0.5
  kill "$watcher" "$recorder"
  wait "$watcher" "$recorder" || true

  echo "== $program $* run $run of $runs$([ $busy -eq 1 ] && echo ', one core busy')$([ $asleep -eq 1 ] && echo ', sink asleep at start'): status $status"
  "$build/vorbo-av-sync" offsets "$dir/sink.raw" "$dir/sink.times" "$dir/screen.log" "$build/data/test.xm"
  if [ -n "$keep" ]; then
    mkdir -p "$keep"
    cp -r "$dir" "$keep/"
  fi
done
