"""The desktop presenter and vorbo-desktop: the frame scaled and centred on every screen, and how the show ends."""
import os
import re
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unittest

import vorbo_test

DRIVER = os.environ.get("VORBO_DESKTOP_DRIVER")
PROGRAM = vorbo_test.program("vorbo-desktop")


def Driver(server, user=()):
    """The presenter alone showing a known frame on server."""
    return vorbo_test.FrameDriver(DRIVER, server.env(), user)


class Layout(unittest.TestCase):
    """Every frame pixel an exact k x k block, the frame centred, black around it."""

    def check(self, width, height, depth, k, extra=()):
        with vorbo_test.Xvfb(depth=depth, width=width, height=height, extra=extra) as server, \
                Driver(server) as driver:
            w, h, raw = vorbo_test.screenshot(server.display)
        self.assertEqual((w, h), (width, height))
        x0, y0 = (width - 640 * k) // 2, (height - 480 * k) // 2
        stride, inside = w * 3, 640 * k * 3
        black_row = bytes(stride)
        shown = vorbo_test.frame_rows(driver.frame, k)
        for y in range(h):
            row = raw[y * stride:(y + 1) * stride]
            if y < y0 or y >= y0 + 480 * k:
                self.assertEqual(row, black_row, "row %d" % y)
                continue
            self.assertEqual(row[:x0 * 3] + row[x0 * 3 + inside:], bytes(stride - inside), "row %d" % y)
        for r in range(480):
            top = raw[(y0 + r * k) * stride + x0 * 3:][:inside]
            for j in range(1, k):
                self.assertEqual(raw[(y0 + r * k + j) * stride + x0 * 3:][:inside], top, "row %d" % r)
            if depth == 24:
                self.assertEqual(top, shown[r], "frame row %d" % r)
            else:
                # Each block of k display pixels is one pixel repeated.
                blocks = [top[i:i + 3 * k] for i in range(0, inside, 3 * k)]
                self.assertTrue(all(b == b[:3] * k for b in blocks), "frame row %d" % r)
                self.assertGreater(len(set(blocks)), 100)

    def test_screen_just_larger_than_the_frame_shows_it_unscaled(self):
        self.check(1024, 768, 24, 1)

    def test_full_hd_doubles_the_frame(self):
        self.check(1920, 1080, 24, 2)

    def test_4k_quadruples_the_frame(self):
        self.check(3840, 2160, 24, 4)

    def test_16_bit_screen(self):
        self.check(1920, 1080, 16, 2)

    def test_without_the_present_extension_the_frame_is_put_into_the_window(self):
        self.check(1920, 1080, 24, 2, extra=["-extension", "Present"])

    def test_uncovered_parts_are_repainted(self):
        with vorbo_test.Xvfb(width=1280, height=960) as server, Driver(server):
            before = vorbo_test.screenshot(server.display)
            # Another window over the show, then gone again.
            cover = subprocess.Popen(["xeyes", "-geometry", "700x500+100+100"], env=server.env())
            try:
                self.assertTrue(vorbo_test.wait_until(
                    lambda: vorbo_test.screenshot(server.display) != before, 20), "xeyes never showed")
            finally:
                cover.terminate()
                cover.wait()
            # The repaint follows the exposure the server sends once xeyes is gone.
            self.assertTrue(vorbo_test.wait_until(
                lambda: vorbo_test.screenshot(server.display) == before, 20), "never repainted")

    def test_screen_smaller_than_the_frame_fails_the_open(self):
        with vorbo_test.Xvfb(width=640, height=400) as server:
            result = subprocess.run([PROGRAM, "-nosound"], cwd=vorbo_test.BINARY_DIR, env=server.env(),
                                    capture_output=True, text=True, timeout=30)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(vorbo_test.message_and_reason(result.stderr),
                         ("Unable to open display", "the screen is 640x400, smaller than the 640x480 frame"))


def start(server, user=()):
    return subprocess.Popen(list(user) + [PROGRAM, "-nosound"], cwd=vorbo_test.BINARY_DIR,
                            env=server.env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def geometry(server, window):
    out = subprocess.run(["xwininfo", "-id", window], env=server.env(), capture_output=True,
                         text=True).stdout
    fields = dict(line.strip().split(":", 1) for line in out.splitlines() if ":" in line)
    return {key.strip(): value.strip() for key, value in fields.items()}


class WindowManager:
    """openbox on the server, until the context ends."""

    def __init__(self, server):
        self.server = server

    def __enter__(self):
        self.proc = subprocess.Popen(["openbox"], env=self.server.env(), stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        # The manager names itself before it takes windows on: it is ready
        # once it lists a window of another client among the ones it manages.
        probe = subprocess.Popen(["xeyes"], env=self.server.env(), stderr=subprocess.DEVNULL)
        try:
            deadline = time.time() + 10
            while time.time() < deadline:
                out = subprocess.run(["xprop", "-root", "_NET_CLIENT_LIST"], env=self.server.env(),
                                     capture_output=True, text=True).stdout
                if "0x" in out:
                    return self
                time.sleep(0.05)
        finally:
            probe.terminate()
            probe.wait()
        raise AssertionError("openbox did not start")

    def __exit__(self, *exc):
        self.proc.terminate()
        self.proc.wait()


class Program(unittest.TestCase):
    """vorbo-desktop covers the screen and ends as the other programs do."""

    def covers_screen(self, server, proc):
        window = vorbo_test.find_window(server, proc)
        deadline = time.time() + 5
        while time.time() < deadline:
            info = geometry(server, window)
            if info.get("Map State") == "IsViewable" and info.get("Width") == "1920":
                break
            time.sleep(0.05)
        self.assertEqual((info.get("Width"), info.get("Height")), ("1920", "1080"))
        self.assertEqual(info.get("Absolute upper-left X"), "0")
        self.assertEqual(info.get("Absolute upper-left Y"), "0")
        return window

    def expect_premature_exit(self, proc):
        status, _, err = vorbo_test.finish(proc)
        self.assertEqual((status, err), (1, "Premature exit from demo\n"))
        self.assertEqual(vorbo_test.segments_left(proc.pid), set())

    def test_escape_without_a_window_manager(self):
        with vorbo_test.Xvfb(width=1920, height=1080) as server:
            proc = start(server)
            self.covers_screen(server, proc)
            subprocess.run(["xdotool", "key", "Escape"], env=server.env(), check=True)
            self.expect_premature_exit(proc)

    def test_window_manager_makes_it_full_screen_and_its_close_ends_the_show(self):
        with vorbo_test.Xvfb(width=1920, height=1080) as server, WindowManager(server):
            proc = start(server)
            window = self.covers_screen(server, proc)
            state = subprocess.run(["xprop", "-id", window, "_NET_WM_STATE"], env=server.env(),
                                   capture_output=True, text=True).stdout
            self.assertIn("_NET_WM_STATE_FULLSCREEN", state)
            # The manager lists the window among its clients once it has taken it on.
            deadline = time.time() + 10
            while subprocess.run(["wmctrl", "-c", vorbo_test.TITLE], env=server.env()).returncode != 0:
                self.assertLess(time.time(), deadline, "the window manager never listed the show")
                time.sleep(0.1)
            self.expect_premature_exit(proc)

    def test_escape_under_a_window_manager_as_an_ordinary_user(self):
        user = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] if os.geteuid() == 0 else []
        with vorbo_test.Xvfb(width=1920, height=1080) as server, WindowManager(server):
            proc = start(server, user)
            self.covers_screen(server, proc)
            subprocess.run(["xdotool", "key", "Escape"], env=server.env(), check=True)
            self.expect_premature_exit(proc)

    def test_killed_show_leaves_no_segment(self):
        with vorbo_test.Xvfb(width=1920, height=1080) as server:
            proc = start(server)
            self.covers_screen(server, proc)
            self.assertTrue(vorbo_test.wait_segment(proc.pid))
            proc.send_signal(signal.SIGKILL)
            proc.communicate()
            self.assertEqual(vorbo_test.segments_left(proc.pid), set())

    def test_same_switches_as_the_other_programs(self):
        env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        result = subprocess.run([PROGRAM, "-nosound", "-window"], env=env, capture_output=True,
                                text=True, timeout=30)
        self.assertEqual(result.returncode, 1)
        self.assertTrue(result.stdout.startswith("Vorbo returns, by "))
        self.assertEqual(result.stderr, "Unknown switch -window\n")


@unittest.skipUnless(shutil.which("weston") and shutil.which("Xwayland"), "weston or Xwayland missing")
class Xwayland(unittest.TestCase):
    def test_shows_the_frame_under_xwayland(self):
        with tempfile.TemporaryDirectory() as runtime:
            os.chmod(runtime, 0o700)
            log = os.path.join(runtime, "weston.log")
            env = dict(os.environ, XDG_RUNTIME_DIR=runtime)
            weston = subprocess.Popen(["weston", "--backend=headless-backend.so", "--xwayland",
                                       "--socket=vorbo-test", "--width=1280", "--height=960",
                                       "--log=" + log], env=env, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
            try:
                display = None
                deadline = time.time() + 20
                while display is None and time.time() < deadline:
                    time.sleep(0.1)
                    with open(log) if os.path.exists(log) else open(os.devnull) as f:
                        found = re.search(r"xserver listening on display (:\d+)", f.read())
                    display = found and found.group(1)
                self.assertIsNotNone(display, "weston started no Xwayland")
                server = type("Server", (), {"env": lambda self, **kw: dict(env, DISPLAY=display, **kw)})()
                proc = start(server)
                window = vorbo_test.find_window(server, proc, timeout=20)
                # Found by its name, the window may not be mapped yet (xwd would fail).
                self.assertTrue(vorbo_test.wait_until(
                    lambda: geometry(server, window).get("Map State") == "IsViewable", 20),
                    "the window was never mapped")

                def shot():
                    with tempfile.TemporaryDirectory() as tmp:
                        xwd = os.path.join(tmp, "shot.xwd")
                        subprocess.run(["xwd", "-id", window, "-silent", "-out", xwd],
                                       env=server.env(), check=True, stderr=subprocess.PIPE)
                        return subprocess.run(["/usr/bin/convert", xwd, "-depth", "8", "rgb:-"],
                                              check=True, capture_output=True).stdout

                def colours(raw):
                    return len(set(raw[i:i + 3] for i in range(0, len(raw), 3 * 97)))

                # Scale 2 on 1280 x 960: the frame fills the window, and shows
                # something once the first frames have reached it.
                shots = []
                vorbo_test.wait_until(lambda: shots.append(shot()) or colours(shots[-1]) > 20, 20)
                self.assertEqual(len(shots[-1]), 1280 * 960 * 3)
                self.assertGreater(colours(shots[-1]), 20)
                proc.terminate()
                proc.communicate(timeout=10)
            finally:
                weston.terminate()
                weston.wait(10)


if __name__ == "__main__":
    unittest.main()
