"""vorbo-desktop on a screen of two monitors (Xorg, dummy driver): the monitor it covers, new modes, a window, the screen saver."""
import contextlib
import os
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

import vorbo_test
from test_desktop import Driver, WindowManager, geometry
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "fullscreen"))
import xorg_dummy  # noqa: E402
from xorg_dummy import XorgDummy  # noqa: E402

SAVER_STATE = os.environ.get("VORBO_SAVER_STATE")

# Two 1920 x 1080 monitors side by side, the right-hand one primary: a screen
# of 3840 x 1080 that may grow to 3840 x 1440 when a mode changes.
CONFIG = xorg_dummy.SERVER_FLAGS + """\
Section "Device"
  Identifier "card"
  Driver "dummy"
  VideoRam 65536
  Option "Monitor-DUMMY0" "left"
  Option "Monitor-DUMMY1" "right"
EndSection
Section "Monitor"
  Identifier "left"
  HorizSync 5.0-200.0
  VertRefresh 5.0-200.0
  Modeline "1920x1080" 148.5 1920 2008 2052 2200 1080 1084 1089 1125
  Option "PreferredMode" "1920x1080"
EndSection
Section "Monitor"
  Identifier "right"
  HorizSync 5.0-200.0
  VertRefresh 5.0-200.0
  Modeline "1920x1080" 148.5 1920 2008 2052 2200 1080 1084 1089 1125
  Modeline "1280x720" 74.25 1280 1390 1430 1650 720 725 730 750
  Modeline "1920x1440" 234.0 1920 2048 2256 2600 1440 1441 1444 1500
  Option "PreferredMode" "1920x1080"
  Option "RightOf" "left"
  Option "Enable" "true"
  Option "Primary" "true"
EndSection
Section "Screen"
  Identifier "screen"
  Device "card"
  Monitor "left"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 3840 1440
  EndSubSection
EndSection
""" + xorg_dummy.LAYOUT
RIGHT_X = 1920  # where the primary monitor starts


class TwoMonitors(XorgDummy):
    def __init__(self):
        super().__init__([])

    def config(self):
        return CONFIG


def grab(display):
    """The root window as (width, height, blue, green, red): each a bytes object of one channel."""
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "shot.xwd")
        subprocess.run(["xwd", "-root", "-silent", "-display", display, "-out", path], check=True)
        with open(path, "rb") as f:
            data = f.read()
    header = struct.unpack(">25I", data[:100])
    size, width, height, order, bpp, line, ncolors = (header[0], header[4], header[5], header[7],
                                                      header[11], header[12], header[19])
    assert bpp == 32 and order == 0, "expected 32-bit LSB-first pixels"
    pixels = data[size + ncolors * 12:][:line * height]
    assert line == width * 4
    return width, height, pixels[0::4], pixels[1::4], pixels[2::4]


def frame_channels(frame):
    """The frame's blue, green and red bytes, row after row."""
    return (bytes(p & 0xFF for p in frame), bytes(p >> 8 & 0xFF for p in frame),
            bytes(p >> 16 & 0xFF for p in frame))


def scaled_rows(frame, k, cache={}):
    """For each channel, the frame's 480 rows with every byte k times over."""
    key = (id(frame), k)
    if key not in cache:
        planes = []
        for source in frame_channels(frame):
            rows = []
            for r in range(480):
                out = bytearray(640 * k)
                for i in range(k):
                    out[i::k] = source[r * 640:(r + 1) * 640]
                rows.append(bytes(out))
            planes.append(rows)
        cache[key] = planes
    return cache[key]


def misplaced(shot, frame, x0, y0, k):
    """Why the screenshot does not show frame at scale k from (x0, y0) on black, or None."""
    width, height, *planes = shot
    if x0 < 0 or y0 < 0 or x0 + 640 * k > width or y0 + 480 * k > height:
        return "frame outside the screen"
    for plane, rows in zip(planes, scaled_rows(frame, k)):
        for y in range(480 * k):
            row = plane[(y0 + y) * width:(y0 + y + 1) * width]
            if row[x0:x0 + 640 * k] != rows[y // k]:
                return "row %d of the frame differs" % (y // k)
            if row[:x0].strip(b"\0") or row[x0 + 640 * k:].strip(b"\0"):
                return "pixels beside the frame in row %d" % (y0 + y)
        if plane[:y0 * width].strip(b"\0") or plane[(y0 + 480 * k) * width:].strip(b"\0"):
            return "pixels above or below the frame"
    return None


def await_frame(server, frame, x0, y0, k, within):
    """Screenshots until one shows the frame at scale k from (x0, y0); the last failure otherwise."""
    deadline = time.time() + within
    while True:
        started = time.time()
        why = misplaced(grab(server.display), frame, x0, y0, k)
        if why is None or started > deadline:
            return why


def prop(server, window, name):
    return subprocess.run(["xprop", "-id", window, name], env=server.env(), capture_output=True,
                          text=True).stdout.strip()


def await_prop(server, window, name, test, within=5):
    deadline = time.time() + within
    while not test(prop(server, window, name)):
        if time.time() > deadline:
            raise AssertionError("%s stayed %r" % (name, prop(server, window, name)))
        time.sleep(0.05)


def xrandr(server, *args):
    subprocess.run(["xrandr"] + list(args), env=server.env(), check=True)


@unittest.skipUnless(os.geteuid() == 0, "Xorg with the dummy driver needs root")
class Monitors(unittest.TestCase):
    """The frame wholly inside the primary monitor, centred to the pixel, exact k x k blocks."""

    def test_without_a_manager_the_window_covers_the_primary_monitor(self):
        with TwoMonitors() as server, Driver(server) as driver:
            self.assertIsNone(await_frame(server, driver.frame, RIGHT_X + 320, 60, 2, within=5))

    def test_openbox_makes_it_full_screen_on_the_primary_monitor(self):
        with TwoMonitors() as server, WindowManager(server), Driver(server) as driver:
            self.assertIsNone(await_frame(server, driver.frame, RIGHT_X + 320, 60, 2, within=5))
            window = vorbo_test.find_window(server, driver.proc)
            self.assertIn("_NET_WM_STATE_FULLSCREEN", prop(server, window, "_NET_WM_STATE"))
            # What a desktop reads of the window.
            self.assertEqual(prop(server, window, "_NET_WM_PID"),
                             "_NET_WM_PID(CARDINAL) = %d" % driver.proc.pid)
            self.assertEqual(prop(server, window, "_NET_WM_NAME"),
                             '_NET_WM_NAME(UTF8_STRING) = "Vorbo returns"')
            self.assertEqual(prop(server, window, "WM_CLASS"),
                             'WM_CLASS(STRING) = "vorbo-desktop", "vorbo-desktop"')
            self.assertEqual(prop(server, window, "_NET_WM_BYPASS_COMPOSITOR"),
                             "_NET_WM_BYPASS_COMPOSITOR(CARDINAL) = 1")
            icon = prop(server, window, "_NET_WM_ICON")
            for size in (16, 32, 48, 64):
                self.assertIn("Icon (%d x %d)" % (size, size), icon)

    def test_a_new_mode_lays_the_frame_out_again_within_a_second(self):
        for manager in (False, True):
            manage = WindowManager if manager else lambda server: contextlib.nullcontext()
            with self.subTest(manager=manager), TwoMonitors() as server, manage(server), \
                    Driver(server) as driver:
                self.assertIsNone(await_frame(server, driver.frame, RIGHT_X + 320, 60, 2, within=5))
                # Smaller: scale 1; taller: scale 3, filling the monitor.
                for mode, x0, y0, k in (("1280x720", RIGHT_X + 320, 120, 1),
                                        ("1920x1440", RIGHT_X, 0, 3),
                                        ("1920x1080", RIGHT_X + 320, 60, 2)):
                    xrandr(server, "--output", "DUMMY1", "--mode", mode)
                    self.assertIsNone(await_frame(server, driver.frame, x0, y0, k, within=1), mode)

    def test_f_switches_to_a_window_and_back(self):
        with TwoMonitors() as server, WindowManager(server), Driver(server) as driver:
            window = vorbo_test.find_window(server, driver.proc)
            await_prop(server, window, "_NET_WM_STATE", lambda v: "FULLSCREEN" in v)
            subprocess.run(["xdotool", "key", "f"], env=server.env(), check=True)
            await_prop(server, window, "_NET_WM_STATE", lambda v: "FULLSCREEN" not in v)
            await_prop(server, window, "_NET_FRAME_EXTENTS", lambda v: "= 0, 0, 0, 0" not in v
                       and "=" in v)
            deadline = time.time() + 5
            while (info := geometry(server, window))["Width"] != "640" and time.time() < deadline:
                time.sleep(0.05)
            self.assertEqual((info["Width"], info["Height"]), ("640", "480"))
            x, y = int(info["Absolute upper-left X"]), int(info["Absolute upper-left Y"])
            self.assertGreaterEqual(x, RIGHT_X)
            self.assertIsNone(await_frame_in_window(server, driver.frame, x, y))
            self.assertEqual(prop(server, window, "_NET_WM_BYPASS_COMPOSITOR"),
                             "_NET_WM_BYPASS_COMPOSITOR:  not found.")
            subprocess.run(["xdotool", "key", "F11"], env=server.env(), check=True)
            await_prop(server, window, "_NET_WM_STATE", lambda v: "FULLSCREEN" in v)
            self.assertIsNone(await_frame(server, driver.frame, RIGHT_X + 320, 60, 2, within=5))


def await_frame_in_window(server, frame, x, y, within=5):
    """The 640 x 480 window at (x, y) shows the frame unscaled."""
    deadline = time.time() + within
    expected = frame_channels(frame)
    while True:
        started = time.time()
        width, _, *planes = grab(server.display)
        why = None
        for plane, source in zip(planes, expected):
            for r in range(480):
                if plane[(y + r) * width + x:][:640] != source[r * 640:(r + 1) * 640]:
                    why = "row %d of the window differs" % r
                    break
        if why is None or started > deadline:
            return why


def saver(server):
    """(state, idle ms) of the server's screen saver, as the screen-saver extension tells."""
    out = subprocess.run([SAVER_STATE], env=server.env(), capture_output=True, text=True,
                         check=True).stdout.split()
    return out[0], int(out[1])


def await_saver(server, test, within):
    deadline = time.time() + within
    while True:
        state = saver(server)
        if test(*state) or time.time() > deadline:
            return state
        time.sleep(0.05)


@unittest.skipUnless(os.geteuid() == 0, "Xorg with the dummy driver needs root")
class ScreenSaver(unittest.TestCase):
    """Held off while the show plays; free again however the show ends."""

    def test_suspended_while_playing_and_restored_after(self):
        for end in ("close", "escape", "kill"):
            with self.subTest(end=end), TwoMonitors() as server:
                subprocess.run(["xset", "s", "1", "1"], env=server.env(), check=True)
                self.assertEqual(await_saver(server, lambda s, idle: s == "on", 5)[0], "on")
                with Driver(server) as driver:
                    # Idle for twice the saver's timeout, and the saver still off.
                    state, idle = await_saver(server, lambda s, idle: idle > 2000 or s == "on", 10)
                    self.assertEqual(state, "off")
                    if end == "escape":
                        subprocess.run(["xdotool", "key", "Escape"], env=server.env(), check=True)
                        self.assertEqual(vorbo_test.finish(driver.proc)[:2], (1, "escape\n"))
                    elif end == "kill":
                        driver.proc.send_signal(signal.SIGKILL)
                        driver.proc.wait()
                    else:
                        driver.proc.communicate("\n", timeout=10)
                        self.assertEqual(driver.proc.returncode, 0)
                    self.assertEqual(await_saver(server, lambda s, idle: s == "on", 5)[0], "on")


if __name__ == "__main__":
    unittest.main()
