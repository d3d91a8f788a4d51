#!/usr/bin/env python3
"""Client CPU while presenting: vorbo-desktop (paced by X Present, or a Wayland compositor) against the unpaced vorbo-window.

    bench/present_cpu.py [--build DIR] [--seconds N] [--sizes 1920x1080 3840x2160]

Runs each program with -nosound for the show's first N seconds (default
10), with the frame counter (libvorbo-frame-counter.so) preloaded, then
stops it and reads the CPU time the kernel charged to it (user and system).
Prints a Markdown table: the share of one core the program took, and the
frames it drew per second over demo seconds 1 to N - 1. On an Xvfb screen of
each size (depth 24), vorbo-window shows the 640 x 480 frame in a window and
draws as fast as the server takes frames, and vorbo-desktop scales the frame
to the screen and presents one per refresh (Xvfb's is 60 Hz). Under weston
(headless, pixman renderer, 60 Hz) with an output of each size in physical
pixels, at output scale 1 and 2, vorbo-desktop is a native Wayland client,
one frame per frame callback, and no X server runs.
"""
import argparse
import os
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "wayland"))
import vorbo_test  # noqa: E402
from weston import Weston  # noqa: E402
from present_fps import read_counts  # noqa: E402


def frame_rate(path, last):
    """Frames drawn per second over demo seconds 1..last from a counter file."""
    counts = read_counts(path)
    return sum(counts.get(s, (0, 0))[0] for s in range(1, last + 1)) / last


def measure(build, program, server, seconds):
    """(share of one core, frames per second) of program over its first seconds."""
    counter = os.path.join(build, "libvorbo-frame-counter.so")
    with tempfile.TemporaryDirectory() as tmp:
        counts = os.path.join(tmp, "counts.txt")
        env = server.env(LD_PRELOAD=counter, VORBO_FRAME_COUNT_FILE=counts)
        proc = subprocess.Popen([os.path.join(build, program), "-nosound"], cwd=build, env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        start = time.time()
        time.sleep(seconds)
        proc.send_signal(signal.SIGTERM)
        _, _, usage = os.wait4(proc.pid, 0)
        elapsed = time.time() - start
        return (usage.ru_utime + usage.ru_stime) / elapsed, frame_rate(counts, seconds - 1)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=vorbo_test.BINARY_DIR)
    parser.add_argument("--seconds", type=int, default=10)
    parser.add_argument("--sizes", nargs="+", default=["1920x1080", "3840x2160"])
    opts = parser.parse_args()
    build = os.path.abspath(opts.build)
    print("| screen (physical pixels) | program | display | CPU (share of one core) | frames drawn per second |")
    print("|---|---|---|---:|---:|")
    for size in opts.sizes:
        width, height = (int(n) for n in size.split("x"))
        for program in ("vorbo-window", "vorbo-desktop"):
            with vorbo_test.Xvfb(depth=24, width=width, height=height) as server:
                cpu, fps = measure(build, program, server, opts.seconds)
            print("| %s | %s | Xvfb | %.2f | %.0f |" % (size, program, cpu, fps))
        for scale in (1, 2):
            with Weston(width=width // scale, height=height // scale, scale=scale) as server:
                cpu, fps = measure(build, "vorbo-desktop", server, opts.seconds)
            print("| %s | vorbo-desktop | weston, scale %d | %.2f | %.0f |" % (size, scale, cpu, fps))

if __name__ == "__main__":
    main()
