"""The windowed program on real X servers of every supported depth, and the ones it refuses."""
import os
import subprocess
import time
import unittest

import vorbo_test

SEND_WM_DELETE = os.environ.get("VORBO_SEND_WM_DELETE")


def start(server, program="vorbo-window", args=("-nosound",)):
    return subprocess.Popen([vorbo_test.program(program)] + list(args), cwd=vorbo_test.BINARY_DIR,
                            env=server.env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def window_info(server, window):
    out = subprocess.run(["xwininfo", "-id", window], env=server.env(), capture_output=True, text=True).stdout
    info = {}
    for line in out.splitlines():
        if ":" in line:
            key, _, value = line.strip().partition(":")
            info[key.strip()] = value.strip()
    return info


def red_dot_rows(shot):
    """Rows of column 500 that show the pure red dot."""
    return [y for y in range(shot[1]) if vorbo_test.pixel(shot, 500, y) == (255, 0, 0)]


class WindowedShow(unittest.TestCase):
    def mapped_window(self, server, proc):
        """The show's window once it is mapped: found by its name, it may not be yet, and a
        key sent to the pointer's place would reach the root window instead."""
        window = vorbo_test.find_window(server, proc)
        vorbo_test.wait_until(lambda: window_info(server, window).get("Map State") == "IsViewable", 5)
        return window

    def check_depth(self, depth):
        with vorbo_test.Xvfb(depth=depth) as server:
            proc = start(server)
            window = self.mapped_window(server, proc)
            info = window_info(server, window)
            self.assertEqual(info.get("Map State"), "IsViewable")
            self.assertEqual((info.get("Width"), info.get("Height")), ("640", "480"))
            self.assertEqual(info.get("Depth"), str(depth))

            # The red dot swings in column 500 between rows 120 and 360; a
            # picture may hide it in some seconds, so look for a while.
            rows = []
            deadline = time.time() + 15
            while not rows and time.time() < deadline:
                rows = red_dot_rows(vorbo_test.screenshot(server.display))
            self.assertTrue(rows, "no red dot in column 500")
            self.assertTrue(all(120 <= y <= 360 for y in rows), rows)

            subprocess.run(["xdotool", "mousemove", "320", "240", "key", "Escape"], env=server.env(), check=True)
            status, out, err = vorbo_test.finish(proc)
            self.assertEqual(status, 1)
            self.assertEqual(err, "Premature exit from demo\n")
            self.assertEqual(vorbo_test.segments_left(proc.pid), set())

    def test_depth_24(self):
        self.check_depth(24)

    def test_depth_16(self):
        self.check_depth(16)

    def test_depth_15(self):
        self.check_depth(15)

    def test_shift_escape_also_ends_the_show(self):
        with vorbo_test.Xvfb(depth=24) as server:
            proc = start(server)
            self.mapped_window(server, proc)
            subprocess.run(["xdotool", "mousemove", "320", "240", "key", "a", "shift+Escape"], env=server.env(),
                           check=True)
            status, _, err = vorbo_test.finish(proc)
            self.assertEqual((status, err), (1, "Premature exit from demo\n"))

    @unittest.skipUnless(SEND_WM_DELETE, "needs the WM_DELETE_WINDOW sender")
    def test_close_button_ends_the_show_like_escape(self):
        with vorbo_test.Xvfb(depth=24) as server:
            proc = start(server)
            window = vorbo_test.find_window(server, proc)
            subprocess.run([SEND_WM_DELETE, window], env=server.env(), check=True)
            status, _, err = vorbo_test.finish(proc)
            self.assertEqual((status, err), (1, "Premature exit from demo\n"))
            self.assertEqual(vorbo_test.segments_left(proc.pid), set())

    def test_killed_program_leaves_no_segment(self):
        with vorbo_test.Xvfb(depth=24) as server:
            proc = start(server)
            vorbo_test.find_window(server, proc)
            # While the show runs, its segment exists (marked for removal).
            self.assertTrue(vorbo_test.wait_segment(proc.pid, timeout=5))
            proc.kill()
            proc.communicate()
            # The server detaches when it sees the connection drop.
            self.assertEqual(vorbo_test.segments_left(proc.pid), set())

    def test_unsupported_servers_are_refused(self):
        for depth, extra in [(8, []), (24, ["-extension", "MIT-SHM"])]:
            with self.subTest(depth=depth, extra=extra), vorbo_test.Xvfb(depth=depth, extra=extra) as server:
                proc = start(server)
                status, out, err = vorbo_test.finish(proc)
                self.assertEqual((status, vorbo_test.message_and_reason(err)[0]),
                                 (1, "Unable to open display"))
                self.assertNotIn("Set up, starting demo", out)


if __name__ == "__main__":
    unittest.main()
