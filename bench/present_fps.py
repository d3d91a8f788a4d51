#!/usr/bin/env python3
"""Presenting speed: frames per second of vorbo-window under Xvfb against the same program with -nogfx.

    bench/present_fps.py [--build DIR] [--depths 24 16] [--until SECOND] [--repeat N]

Runs `vorbo-window -nosound` on an Xvfb screen of each depth, and
`vorbo-window -nosound -nogfx` without a display, one after the other, each
with the frame counter (libvorbo-frame-counter.so) preloaded: the programs
and their output are unchanged, the counter tallies per wall-clock second the
frames presented (XShmPutImage calls) and the frames drawn (clock reads at
the start of every frame). Demo second d is the d-th wall-clock second after
the clock's origin; second 0 (partial, with the loading) is left out, so every
run is counted over the same demo seconds 1..58 (or 1..SECOND-1 with
--until, which stops each run once the show reaches SECOND). With --repeat N
the three runs are made N times in turn and every second keeps its best run.

Prints Markdown tables: frames per second per scene and over the show, and
each depth's rate as a fraction of the -nogfx rate.
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
import vorbo_test  # noqa: E402



def scenes(build):
    """The script's scenes as the frame driver lists them: (first second, last second, name)."""
    out = subprocess.run([os.path.join(build, "vorbo-frame-driver"), "--scenes"],
                         capture_output=True, text=True, check=True).stdout
    rows = []
    for line in out.splitlines():
        _, name, first, last = line.split()
        rows.append((int(first), int(last), name))
    return rows


def read_counts(path):
    """{demo second: (frames drawn, frames presented)} from a counter file."""
    start, seconds = None, {}
    with open(path) as f:
        for line in f:
            fields = line.split()
            if fields[0] == "start":
                start = int(fields[1])
            elif start is not None and len(fields) == 3:
                seconds[int(fields[0]) - start] = (int(fields[1]), int(fields[2]))
    return seconds


def run(build, counter, args, env, until):
    """Runs vorbo-window with args and the counter; returns its per-second counts."""
    with tempfile.TemporaryDirectory() as tmp:
        counts = os.path.join(tmp, "counts.txt")
        env = dict(env, LD_PRELOAD=counter, VORBO_FRAME_COUNT_FILE=counts)
        proc = subprocess.Popen([os.path.join(build, "vorbo-window")] + args, cwd=build, env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        deadline = time.time() + (until + 3 if until else 120)
        while proc.poll() is None and time.time() < deadline:
            if until and os.path.exists(counts) and any(
                    s >= until for s in read_counts(counts)):
                break
            time.sleep(0.2)
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            proc.wait(10)
        elif proc.returncode != 0:
            sys.exit("vorbo-window %s failed (%d): %s" %
                     (" ".join(args), proc.returncode, proc.stderr.read().decode()))
        return read_counts(counts)


def rate(counts, first, last, presented):
    """Mean frames per second over demo seconds first..last, or None without data."""
    frames = [counts[s][1 if presented else 0] for s in range(first, last + 1) if s in counts]
    if len(frames) != last - first + 1:
        return None
    return sum(frames) / len(frames)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=vorbo_test.BINARY_DIR)
    parser.add_argument("--depths", type=int, nargs="+", default=[24, 16])
    parser.add_argument("--until", type=int, default=0,
                        help="stop each run when the show reaches this second (default: whole show)")
    parser.add_argument("--repeat", type=int, default=1,
                        help="rounds of runs; each second counts its best round (default 1)")
    opts = parser.parse_args()
    build = os.path.abspath(opts.build)
    counter = os.path.join(build, "libvorbo-frame-counter.so")
    for path in (os.path.join(build, "vorbo-window"), os.path.join(build, "vorbo-frame-driver"),
                 counter):
        if not os.path.exists(path):
            sys.exit("missing %s: build vorbo-window, vorbo-frame-driver and vorbo-frame-counter"
                     % path)
    last = (opts.until or 59) - 1

    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    # Rounds of one run per column, so that a busy spell on a shared machine
    # hits every column alike; each second keeps its best round, which other
    # processes can only slow down.
    best = [{} for _ in range(1 + len(opts.depths))]
    for _ in range(opts.repeat):
        runs = [run(build, counter, ["-nosound", "-nogfx"], env, opts.until)]
        for depth in opts.depths:
            with vorbo_test.Xvfb(depth=depth) as x:
                counts = run(build, counter, ["-nosound"], x.env(), opts.until)
            unpresented = sum(max(r - p, 0) for s, (r, p) in counts.items() if 1 <= s <= last)
            if unpresented > 1:
                print("note: depth %d drew %d frames it did not present" % (depth, unpresented),
                      file=sys.stderr)
            runs.append(counts)
        for merged, counts in zip(best, runs):
            for s, c in counts.items():
                merged[s] = max(merged.get(s, c), c)
    columns = [("-nogfx", best[0], False)]
    columns += [("depth %d" % d, b, True) for d, b in zip(opts.depths, best[1:])]

    rows = [(a, min(b, last), name) for a, b, name in scenes(build) if max(a, 1) <= last]
    rows = [(max(a, 1), b, name) for a, b, name in rows]
    rows.append((1, last, "all of them"))
    head = "| seconds | scene | " + " | ".join("%s fps" % c[0] for c in columns[:1])
    head += "".join(" | %s fps | × -nogfx" % c[0] for c in columns[1:]) + " |"
    print(head)
    print("|---|---|" + "---:|" * (1 + 2 * (len(columns) - 1)))
    for first, end, name in rows:
        base = rate(columns[0][1], first, end, False)
        cells = ["%d–%d" % (first, end), name, "%.0f" % base if base else "–"]
        for _, counts, presented in columns[1:]:
            r = rate(counts, first, end, presented)
            cells.append("%.0f" % r if r else "–")
            cells.append("%.2f" % (r / base) if r and base else "–")
        print("| " + " | ".join(cells) + " |")


if __name__ == "__main__":
    main()
