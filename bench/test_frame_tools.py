#!/usr/bin/env python3
"""Checks of the frame measurement tools: the preloaded frame counter, the callgrind frame driver and script."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import vorbo_test

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.abspath(vorbo_test.BINARY_DIR)
COUNTER = os.path.join(BUILD, "libvorbo-frame-counter.so")


# Each clock reading moves the show's clock this far: FRAMES frames a second.
FRAMES = 20


def counted_run(args, env):
    """Runs the whole show of vorbo-window with the counter, its clock moved
    1 / FRAMES s at each reading by faketime (so every second of the show has
    FRAMES frames, however busy the machine); returns (status, stdout, lines
    of the count file split into fields)."""
    with tempfile.TemporaryDirectory() as tmp:
        counts = os.path.join(tmp, "counts.txt")
        env = vorbo_test.stepped_clock(dict(env, LD_PRELOAD=COUNTER, VORBO_FRAME_COUNT_FILE=counts),
                                       "%g" % (1 / FRAMES))
        r = subprocess.run([vorbo_test.program("vorbo-window")] + args,
                           cwd=BUILD, env=env, capture_output=True, text=True, timeout=120)
        with open(counts) as f:
            return r.returncode, r.stdout, [line.split() for line in f]


@unittest.skipUnless(vorbo_test.faketime_installed(), "libfaketime is not installed")
class FrameCounter(unittest.TestCase):
    def check_show(self, lines):
        """The first line is the clock's origin, then every second of the show
        in order, the last being the one read that ends it (second 59).
        Returns the (reads, puts) of seconds 1 to 58."""
        self.assertEqual(lines[0][0], "start")
        start = int(lines[0][1])
        seconds = [int(l[0]) - start for l in lines[1:]]
        self.assertEqual(seconds, list(range(seconds[0], 60)))
        self.assertLessEqual(seconds[0], 1)
        self.assertEqual(lines[-1][1:], ["1", "0"])
        return [(int(l[1]), int(l[2])) for l in lines[1:] if 1 <= int(l[0]) - start <= 58]

    def test_drawing_only_counts_clock_reads_and_leaves_output_alone(self):
        env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        status, out, lines = counted_run(["-nosound", "-nogfx"], env)
        self.assertEqual(status, 0)
        self.assertTrue(out.startswith("Vorbo returns, by "), out)
        self.assertTrue(out.endswith("Set up, starting demo\n"
                                     "Loading object data/cube.obj...  done (6 faces)\n"
                                     "Loading object data/f16.obj...  done (74 faces)\n"), out)
        for reads, puts in self.check_show(lines):
            self.assertEqual((reads, puts), (FRAMES, 0))

    def test_presenting_counts_one_put_per_frame(self):
        with vorbo_test.Xvfb(depth=16) as x:
            status, _, lines = counted_run(["-nosound"], x.env())
        self.assertEqual(status, 0)
        for reads, puts in self.check_show(lines):
            self.assertEqual((reads, puts), (FRAMES, FRAMES))

    def test_without_a_count_file_calls_only_pass_through(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY",
                                                                "VORBO_FRAME_COUNT_FILE")}
        env["LD_PRELOAD"] = COUNTER
        r = subprocess.run([vorbo_test.program("vorbo-window"), "-nosound", "-nogfx"], cwd=BUILD,
                           env=vorbo_test.faster_clock(env, 20), capture_output=True, text=True,
                           timeout=120)
        self.assertEqual(r.returncode, 0)
        self.assertIn("Set up, starting demo\n", r.stdout)


class FrameDriver(unittest.TestCase):
    driver = vorbo_test.program("vorbo-frame-driver")

    def test_draws_the_frames_asked_for(self):
        r = subprocess.run([self.driver, "38", "4"], capture_output=True, text=True, timeout=60)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout, "4 frames of second 38\n")

    def test_refuses_seconds_outside_the_show_and_bad_counts(self):
        for args in (["59"], ["-1"], ["3", "0"], [], ["3", "4", "5"]):
            r = subprocess.run([self.driver] + args, capture_output=True, timeout=60)
            self.assertEqual(r.returncode, 2, args)

    def test_reports_missing_media(self):
        with tempfile.TemporaryDirectory() as tmp:
            env = dict(os.environ, VORBO_BINARY_DIR=tmp)
            r = subprocess.run([self.driver, "3", "1"], capture_output=True, text=True, env=env,
                               timeout=60)
        self.assertEqual(r.returncode, 1)
        self.assertIn("no media in", r.stderr)

    @unittest.skipUnless(shutil.which("valgrind"), "valgrind is not installed")
    def test_callgrind_counts_repeat_exactly(self):
        env = dict(os.environ, SCENES="11")
        script = os.path.join(HERE, "callgrind.sh")
        runs = [subprocess.run([script, BUILD, "4"], capture_output=True, text=True, env=env,
                               timeout=300) for _ in range(2)]
        for r in runs:
            self.assertEqual(r.returncode, 0, r.stderr)
        row = runs[0].stdout.splitlines()[-1].split("|")
        self.assertEqual(row[1].strip(), "11")
        self.assertGreater(int(row[3]), 10000)
        self.assertEqual(runs[0].stdout, runs[1].stdout)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
