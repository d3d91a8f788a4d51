"""vorbo-desktop as a Wayland client under weston: exact pixels at every output scale, a resized output, keys, failures, Xwayland."""
import os
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unittest

import vorbo_test
from weston import Weston, installed

DRIVER = os.environ.get("VORBO_DESKTOP_DRIVER")
CHANGING_FRAMES = os.environ.get("VORBO_CHANGING_FRAMES")
PROGRAM = vorbo_test.program("vorbo-desktop")
NOWHERE = "vorbo-no-compositor"  # a WAYLAND_DISPLAY that names no socket


def Driver(env, program=None):
    """The presenter alone showing a known frame (tests/desktop/driver.cpp) on the compositor."""
    return vorbo_test.FrameDriver(program or DRIVER, env)


def frame_shown(shot, frame, k, origin=None):
    """None when the screenshot shows the frame at scale k, every frame pixel an exact k x k
    block, with its top-left corner at origin (centred when None) and black around it;
    else what differs."""
    w, h, raw = shot
    x0, y0 = origin if origin else ((w - 640 * k) // 2, (h - 480 * k) // 2)
    stride, inside = w * 3, 640 * k * 3
    if x0 < 0 or y0 < 0 or x0 * 3 + inside > stride or y0 + 480 * k > h:
        return "a %dx%d screenshot has no room for the frame at scale %d" % (w, h, k)
    rows = vorbo_test.frame_rows(frame, k)
    for y in range(h):
        row = raw[y * stride:(y + 1) * stride]
        r = y - y0
        if 0 <= r < 480 * k:
            if row[x0 * 3:x0 * 3 + inside] != rows[r // k]:
                return "screen row %d is not frame row %d at scale %d" % (y, r // k, k)
            if origin is None and row[:x0 * 3] + row[x0 * 3 + inside:] != bytes(stride - inside):
                return "screen row %d is not black beside the frame" % y
        elif origin is None and row != bytes(stride):
            return "screen row %d is not black" % y
    return None


def find_frame(shot, frame):
    """Where the frame's first row shows unscaled in the screenshot, or None."""
    w, _, raw = shot
    at = raw.find(vorbo_test.frame_rows(frame, 1)[0])
    return None if at < 0 or at % 3 else (at // 3 % w, at // 3 // w)


def eventually(check, timeout=20):
    """Repeats check() (None when satisfied, else what is wrong) until it is satisfied; returns
    the last complaint, or None."""
    deadline = time.time() + timeout
    while True:
        problem = check()
        if problem is None or time.time() > deadline:
            return problem
        time.sleep(0.1)


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


@unittest.skipUnless(installed(), "weston missing")
class Scales(unittest.TestCase):
    """Every frame pixel an exact k x k block of the output's physical pixels, centred on black,
    with no X server."""

    def check(self, width, height, scale, k):
        with Weston(width=width, height=height, scale=scale) as weston, \
                Driver(weston.env()) as driver:
            shot = weston.screenshot()
        self.assertEqual(shot[:2], (width * scale, height * scale))
        self.assertIsNone(frame_shown(shot, driver.frame, k))

    def test_full_hd_at_scale_1_doubles_the_frame(self):
        self.check(1920, 1080, 1, 2)

    def test_4k_at_scale_2_quadruples_it(self):
        self.check(1920, 1080, 2, 4)

    def test_frames_changing_by_rows_leave_nothing_behind(self):
        # Each reused buffer is brought up to date in the rows where it differs, and no others.
        with Weston(width=1920, height=1080) as weston, \
                Driver(weston.env(), CHANGING_FRAMES) as driver:
            shot = weston.screenshot()
        self.assertIsNone(frame_shown(shot, driver.frame, 2))

    def test_stopped_compositor_costs_no_cpu_and_the_show_goes_on(self):
        # No frame callbacks come: the presenter draws nothing, waits without spinning, and
        # blocks no call for longer than its timeout.
        with Weston(width=1280, height=960) as weston, Driver(weston.env()) as driver:
            os.kill(weston.proc.pid, signal.SIGSTOP)
            try:
                before, start = cpu_seconds(driver.proc.pid), time.time()
                time.sleep(1)
                share = (cpu_seconds(driver.proc.pid) - before) / (time.time() - start)
            finally:
                os.kill(weston.proc.pid, signal.SIGCONT)
            self.assertLess(share, 0.2)
            self.assertIsNone(frame_shown(weston.screenshot(), driver.frame, 2))
            out, _ = driver.proc.communicate("\n", timeout=10)
            self.assertEqual(out, "closed\n")


def run(env, timeout=30):
    return subprocess.run([PROGRAM, "-nosound"], cwd=vorbo_test.BINARY_DIR, env=env,
                          capture_output=True, text=True, timeout=timeout)


@unittest.skipUnless(installed(), "weston missing")
class Failures(unittest.TestCase):
    """Why the open failed, one line after the program's message; X11 where it can be had."""

    def assert_reason(self, result, reason):
        self.assertEqual(result.returncode, 1)
        self.assertEqual(vorbo_test.message_and_reason(result.stderr),
                         ("Unable to open display", reason))

    def test_no_compositor(self):
        with tempfile.TemporaryDirectory() as runtime:
            env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
            env.update(XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY=NOWHERE)
            self.assert_reason(run(env), "no Wayland compositor answers at WAYLAND_DISPLAY=%s "
                                         "(No such file or directory)" % NOWHERE)

    def test_compositor_without_xdg_shell(self):
        with Weston(shell="fullscreen-shell.so") as weston:
            self.assert_reason(run(weston.env()), "the Wayland compositor offers no xdg-shell "
                                                  "(xdg_wm_base), so the show cannot have a window there")

    def test_output_smaller_than_the_frame(self):
        with Weston(width=640, height=400) as weston:
            self.assert_reason(run(weston.env()),
                               "the output is 640x400, smaller than the 640x480 frame")

    def test_falls_back_to_x11_saying_why(self):
        with Weston(shell="fullscreen-shell.so") as weston, \
                vorbo_test.Xvfb(width=1280, height=960) as server:
            proc = subprocess.Popen([PROGRAM, "-nosound"], cwd=vorbo_test.BINARY_DIR,
                                    env=weston.env(x11=server.display), stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, text=True)
            vorbo_test.find_window(server, proc)
            subprocess.run(["xdotool", "key", "Escape"], env=server.env(), check=True)
            status, _, err = vorbo_test.finish(proc)
        self.assertEqual(status, 1)
        self.assertEqual(err.splitlines(), [
            "vorbo-desktop: the Wayland compositor offers no xdg-shell (xdg_wm_base), so the show "
            "cannot have a window there; showing through X11 (DISPLAY=%s) instead" % server.display,
            "Premature exit from demo"])

    def test_both_failing_gives_the_x11_reason_last(self):
        with Weston(width=640, height=400) as weston:
            result = run(weston.env(x11=":99999"))
        lines = result.stderr.splitlines()
        self.assertEqual(result.returncode, 1)
        self.assertEqual(lines[0], "vorbo-desktop: the output is 640x400, smaller than the "
                                   "640x480 frame; showing through X11 (DISPLAY=:99999) instead")
        self.assertEqual(lines[1], "Unable to open display")
        self.assertEqual(len(lines), 3)


@unittest.skipUnless(installed() and shutil.which("Xwayland"), "weston or Xwayland missing")
class Xwayland(unittest.TestCase):
    def test_x11_path_under_xwayland_is_exact_at_scale_1(self):
        # Without WAYLAND_DISPLAY the program is an X11 client, as SDL and GTK programs are.
        with Weston(width=1280, height=960, xwayland=True) as weston:
            found = []

            def listening():
                found[:] = [line.rsplit(" ", 1)[1] for line in weston.log_text().splitlines()
                            if "xserver listening on display" in line]
                return bool(found)
            weston.wait_for(listening, "weston started no Xwayland")
            env = weston.env(x11=found[0])
            del env["WAYLAND_DISPLAY"]
            with Driver(env) as driver:
                problem = eventually(lambda: frame_shown(weston.screenshot(), driver.frame, 2))
        self.assertIsNone(problem)


@unittest.skipUnless(installed() and shutil.which("openbox") and shutil.which("xdotool")
                     and shutil.which("wmctrl"), "weston, openbox, xdotool or wmctrl missing")
class OnAnXDisplay(unittest.TestCase):
    """weston as a full-screen window of Xvfb (its X11 back-end): keys typed on the X display
    reach the show through weston's seat and the keymap it hands out, and the output takes the
    window's size."""

    def setUp(self):
        self.server = vorbo_test.Xvfb(width=1920, height=1080).__enter__()
        self.addCleanup(self.server.__exit__)
        self.wm = subprocess.Popen(["openbox"], env=self.server.env(), stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (self.wm.terminate(), self.wm.wait()))
        # openbox names itself before it takes windows on (weston's full-screen window would
        # wait for it forever): it is ready once it lists another client's window.
        probe = subprocess.Popen(["xeyes"], env=self.server.env(), stderr=subprocess.DEVNULL)
        deadline = time.time() + 10
        while "0x" not in subprocess.run(["xprop", "-root", "_NET_CLIENT_LIST"],
                                         env=self.server.env(), capture_output=True,
                                         text=True).stdout:
            self.assertLess(time.time(), deadline, "openbox did not start")
            time.sleep(0.05)
        probe.terminate()
        probe.wait()
        self.weston = Weston(x_display=self.server.display).__enter__()
        self.addCleanup(self.weston.__exit__)

    def key(self, name):
        subprocess.run(["xdotool", "key", name], env=self.server.env(), check=True)

    def test_escape_and_q_end_the_show(self):
        for key in ("Escape", "q"):
            with self.subTest(key=key):
                proc = subprocess.Popen([PROGRAM, "-nosound"], cwd=vorbo_test.BINARY_DIR,
                                        env=self.weston.env(), stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
                # Shown full screen once the corner is the show's black, not the desktop's.
                self.assertIsNone(eventually(lambda: None if vorbo_test.pixel(
                    self.weston.screenshot(), 4, 540) == (0, 0, 0) else "not shown"))
                self.key(key)
                status, out, err = vorbo_test.finish(proc)
                self.assertEqual((status, err), (1, "Premature exit from demo\n"))
                self.assertIn("Set up, starting demo", out)

    def test_output_resized_and_f_switching_to_a_window_and_back(self):
        with Driver(self.weston.env()) as driver:
            self.assertIsNone(eventually(lambda: frame_shown(self.weston.screenshot(),
                                                             driver.frame, 2)))
            # weston's window out of full screen and 1024 x 768, and so its output: room
            # for the frame at scale 1 only.
            for change in (["-b", "remove,fullscreen"], ["-e", "0,0,0,1024,768"]):
                subprocess.run(["wmctrl", "-r", "Weston Compositor"] + change,
                               env=self.server.env(), check=True)

            def resized():
                shot = self.weston.screenshot()
                return frame_shown(shot, driver.frame, 1) if shot[:2] == (1024, 768) \
                    else "output %dx%d" % shot[:2]
            self.assertIsNone(eventually(resized))
            self.key("f")

            def windowed():
                # The frame unscaled in a window, and the desktop around it.
                shot = self.weston.screenshot()
                at = find_frame(shot, driver.frame)
                corners = [vorbo_test.pixel(shot, x, y) for x in (1, 1022) for y in (1, 766)]
                if at is None or corners == [(0, 0, 0)] * 4:
                    return "no window"
                return frame_shown(shot, driver.frame, 1, origin=at)
            self.assertIsNone(eventually(windowed))
            self.key("F11")
            self.assertIsNone(eventually(lambda: frame_shown(self.weston.screenshot(),
                                                             driver.frame, 1)))


if __name__ == "__main__":
    unittest.main()
