#!/usr/bin/env python3
"""Client CPU while presenting: vorbo-desktop (paced by X Present, or a Wayland compositor) against the unpaced vorbo-window.

    bench/present_cpu.py [--build DIR] [--seconds N] [--sizes 1920x1080 3840x2160]
                         [--monitors 1 2] [--monitor-size 3840x2160]

Runs each program with -nosound on an Xvfb screen of each size (depth 24)
for the show's first N seconds (default 10), with the frame counter
(libvorbo-frame-counter.so) preloaded, then stops it and reads the CPU time
the kernel charged to it (user and system). Prints a Markdown table: the
share of one core the program took, and the frames it drew per second over
demo seconds 1 to N - 1. vorbo-window shows the 640 x 480 frame in a window
and draws as fast as the server takes frames; vorbo-desktop scales the frame
to the screen and presents one per refresh (Xvfb's is 60 Hz).

Run as root, it then plays vorbo-desktop on Xorg with the dummy driver
with one monitor, and with two side by side (each --monitor-size, 60 Hz
modes), where the window covers one of them.

Under weston (headless, pixman renderer, 60 Hz) with an output of each size
in physical pixels, at output scale 1 and 2, vorbo-desktop is a native
Wayland client, one frame per frame callback, and no X server runs.
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
sys.path.insert(0, os.path.join(HERE, "..", "tests", "fullscreen"))
import vorbo_test  # noqa: E402
from xorg_dummy import XorgDummy  # noqa: E402
sys.path.insert(0, os.path.join(HERE, "..", "tests", "wayland"))
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


class Monitors(XorgDummy):
    """Xorg (dummy driver) with `count` outputs of width x height side by side, the first primary."""

    def __init__(self, count, width, height):
        super().__init__([])
        self.count, self.width, self.height = count, width, height

    def config(self):
        # CVT timings at 60 Hz for any size: the horizontal total is width + 160 (reduced
        # blanking), the vertical total height + 62.
        htotal, vtotal = self.width + 160, self.height + 62
        clock = htotal * vtotal * 60 / 1e6
        mode = '  Modeline "bench" %.3f %d %d %d %d %d %d %d %d\n  Option "PreferredMode" "bench"\n' % (
            clock, self.width, self.width + 48, self.width + 80, htotal,
            self.height, self.height + 3, self.height + 8, vtotal)
        sections = ["Section \"ServerFlags\"\n  Option \"AutoAddDevices\" \"false\"\n"
                    "  Option \"AutoEnableDevices\" \"false\"\n  Option \"DontVTSwitch\" \"true\"\n"
                    "EndSection\n",
                    "Section \"Device\"\n  Identifier \"card\"\n  Driver \"dummy\"\n"
                    "  VideoRam %d\n" % (self.count * self.width * self.height * 4 // 1024 + 4096)
                    + "".join('  Option "Monitor-DUMMY%d" "m%d"\n' % (i, i) for i in range(self.count))
                    + "EndSection\n"]
        for i in range(self.count):
            sections.append("Section \"Monitor\"\n  Identifier \"m%d\"\n  HorizSync 5.0-1000.0\n"
                            "  VertRefresh 5.0-200.0\n%s" % (i, mode)
                            + ('  Option "Enable" "true"\n  Option "RightOf" "m%d"\n' % (i - 1) if i
                               else '  Option "Primary" "true"\n')
                            + "EndSection\n")
        sections.append("Section \"Screen\"\n  Identifier \"screen\"\n  Device \"card\"\n"
                        "  Monitor \"m0\"\n  DefaultDepth 24\n  SubSection \"Display\"\n"
                        "    Depth 24\n    Virtual %d %d\n  EndSubSection\nEndSection\n"
                        % (self.count * self.width, self.height))
        return "".join(sections)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=vorbo_test.BINARY_DIR)
    parser.add_argument("--seconds", type=int, default=10)
    parser.add_argument("--sizes", nargs="*", default=["1920x1080", "3840x2160"])
    parser.add_argument("--monitors", nargs="*", type=int, default=[1, 2],
                        help="monitor counts on Xorg's dummy driver (needs root; none to skip)")
    parser.add_argument("--monitor-size", default="3840x2160")
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
    if os.geteuid() != 0:
        return
    width, height = (int(n) for n in opts.monitor_size.split("x"))
    for count in opts.monitors:
        with Monitors(count, width, height) as server:
            cpu, fps = measure(build, "vorbo-desktop", server, opts.seconds)
        print("| %d × %s | vorbo-desktop | Xorg, %d monitor%s | %.2f | %.0f |"
              % (count, opts.monitor_size, count, "s" if count > 1 else "", cpu, fps))


if __name__ == "__main__":
    main()
