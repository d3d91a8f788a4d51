"""Whole shows of the window programs under Xvfb, and the two kinds of binaries."""
import os
import subprocess
import tempfile
import time
import unittest

import vorbo_test

SCREENSHOT_DIR = os.environ.get("VORBO_SCREENSHOT_DIR")
# The frame counter (bench/frame_counter.c), preloaded, writes the demo clock's origin.
COUNTER = os.path.join(vorbo_test.BINARY_DIR, "libvorbo-frame-counter.so")


def clock_origin(counts, proc, timeout=20):
    """The demo clock's origin, in wall-clock seconds, from the counter's first line ("start S")."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        if os.path.exists(counts):
            with open(counts) as f:
                first = f.readline()
            if first.endswith("\n"):
                return float(first.split()[1])
        if proc.poll() is not None:
            break
        time.sleep(0.02)
    raise AssertionError("the counter wrote no clock origin: %s" % (proc.communicate(),))


def green_shades(shot, x0, y0, x1, y1):
    """Distinct pure-green colours (red and blue 0) in a rectangle of a screenshot."""
    shades = set()
    for y in range(y0, y1):
        for x in range(x0, x1):
            r, g, b = vorbo_test.pixel(shot, x, y)
            if r == 0 and b == 0 and g > 0:
                shades.add(g)
    return shades


def pinkish(shot, x0, y0, x1, y1):
    """Pixels whose colour is a shade of 0xFF8888 (green equal to blue, red above)."""
    count = 0
    for y in range(y0, y1):
        for x in range(x0, x1):
            r, g, b = vorbo_test.pixel(shot, x, y)
            if g == b and r > g and r >= 0x40 and abs(r * 0x88 - g * 0xFF) <= 0x200:
                count += 1
    return count


class WholeShow(unittest.TestCase):
    def play(self, program):
        """Plays the whole show, taking screenshots at chosen seconds; returns them with the result."""
        with vorbo_test.Xvfb(depth=24) as server, tempfile.TemporaryDirectory() as tmp:
            counts = os.path.join(tmp, "counts.txt")
            env = server.env()
            if os.path.exists(COUNTER):
                env.update(LD_PRELOAD=COUNTER, VORBO_FRAME_COUNT_FILE=counts)
            proc = subprocess.Popen([vorbo_test.program(program), "-nosound"], cwd=vorbo_test.BINARY_DIR,
                                    env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            vorbo_test.find_window(server, proc)
            # Second s of the show is wall-clock second origin + s. Without the
            # counter, the window's appearance is within a second of the origin,
            # and a loaded machine may land a shot in the next scene.
            start = clock_origin(counts, proc) if os.path.exists(COUNTER) else time.time()
            # Seconds of the show in the middle of scenes.
            shots = {}
            for second in (3.5, 7.5, 11.5, 17.5, 24.5, 31.5, 35.5, 40.5, 46.5, 54.5):
                time.sleep(max(0, start + second - time.time()))
                shots[second] = vorbo_test.screenshot(server.display)
                if SCREENSHOT_DIR:
                    vorbo_test.save_png(server.display, os.path.join(
                        SCREENSHOT_DIR, "%s-%02d.png" % (program, int(second))))
            out, err = proc.communicate(timeout=15)
            return proc.returncode, out, err, shots, time.time() - start

    def check_show(self, program):
        status, out, err, shots, elapsed = self.play(program)
        self.assertEqual(status, 0, err)
        self.assertEqual(err, "")
        self.assertIn("Set up, starting demo\n", out)
        self.assertIn("Loading object data/cube.obj...  done (6 faces)\n", out)
        self.assertLess(elapsed, 61)

        # The opening card and the title are centred pictures starting at row 100: rows above are black.
        for second in (3.5, 7.5):
            shot = shots[second]
            self.assertEqual(vorbo_test.pixel(shot, 320, 50), (0, 0, 0))
            self.assertNotEqual(vorbo_test.pixel(shot, 320, 200), (0, 0, 0))
        # The cube alone, flat-shaded green: a few shades at most.
        cube = green_shades(shots[11.5], 160, 80, 480, 400)
        self.assertTrue(0 < len(cube) <= 3, cube)
        # The full-screen picture alone, then with the pink cube over it.
        self.assertNotEqual(vorbo_test.pixel(shots[17.5], 10, 10), (0, 0, 0))
        self.assertEqual(pinkish(shots[17.5], 160, 80, 480, 400), 0)
        self.assertGreater(pinkish(shots[24.5], 160, 80, 480, 400), 200)
        # The jet: many shades of green in the Gouraud programs.
        jet_early = green_shades(shots[35.5], 160, 80, 480, 400)
        jet_late = green_shades(shots[40.5], 160, 80, 480, 400)
        self.assertGreater(len(jet_late), 20)
        # The hand and the greetings.
        self.assertEqual(vorbo_test.pixel(shots[46.5], 320, 100), (0, 0, 0))
        self.assertNotEqual(vorbo_test.pixel(shots[46.5], 320, 300), (0, 0, 0))
        self.assertNotEqual(vorbo_test.pixel(shots[54.5], 5, 5), (0, 0, 0))
        return jet_early

    def test_window_program_plays_the_whole_show(self):
        jet_early = self.check_show("vorbo-window")
        self.assertGreater(len(jet_early), 20)

    def test_legacy_program_draws_the_jet_flat_at_first(self):
        jet_early = self.check_show("vorbo-window-legacy")
        # Flat faces: one shade per visible face.
        self.assertTrue(0 < len(jet_early) <= 40, len(jet_early))


class Binaries(unittest.TestCase):
    def symbols(self, program):
        out = subprocess.run(["nm", "-C", "--undefined-only", vorbo_test.program(program)], capture_output=True,
                             text=True, check=True).stdout
        return out

    def test_legacy_programs_use_the_old_string_abi(self):
        for program, legacy in [("vorbo-window", False), ("vorbo-window-legacy", True),
                                ("vorbo-fullscreen", False), ("vorbo-fullscreen-legacy", True),
                                ("vorbo-desktop", False)]:
            if not os.path.exists(vorbo_test.program(program)):
                continue
            with self.subTest(program=program):
                syms = self.symbols(program)
                new_abi = "std::__cxx11::basic_string" in syms
                self.assertEqual(new_abi, not legacy)
                self.assertIn("std::basic_string" if legacy else "std::__cxx11::basic_string", syms)


if __name__ == "__main__":
    unittest.main()
