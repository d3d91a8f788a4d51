"""An Xorg server with the dummy video driver: real XFree86-VidMode and XFree86-DGA, chosen modes."""
import os
import shutil
import signal
import subprocess
import tempfile

import vorbo_test

# Every mode has a line rate of exactly 33.0 kHz and the monitor accepts
# only that, so none of the server's built-in modes joins the mode list.
MODELINES = {
    "1024x768": "44.352 1024 1048 1184 1344 768 771 777 806",
    "800x600": "34.848 800 840 968 1056 600 601 605 628",
    "640x480": "26.4 640 656 752 800 480 490 492 525",
    # A second 640x480 mode with other timings (dot clock 27720 kHz).
    "640x480b": "27.72 640 672 768 840 480 490 492 525",
    "512x384": "21.12 512 528 576 640 384 385 388 400",
}

# What every configuration of these tests starts and ends with: no input devices of the
# machine's, no console switching, and one screen called "screen".
SERVER_FLAGS = """\
Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
  Option "DontVTSwitch" "true"
EndSection
"""
LAYOUT = """\
Section "ServerLayout"
  Identifier "layout"
  Screen "screen"
EndSection
"""

CONFIG = SERVER_FLAGS + """\
Section "Device"
  Identifier "card"
  Driver "dummy"
  VideoRam 16384
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 32.9-33.1
  VertRefresh 40.0-100.0
{modelines}
EndSection
Section "Screen"
  Identifier "screen"
  Device "card"
  Monitor "monitor"
  DefaultDepth {depth}
  SubSection "Display"
    Depth {depth}
    Modes {modes}
  EndSubSection
EndSection
""" + LAYOUT


class XorgDummy(vorbo_test.XServer):
    """Xorg with the dummy driver on a free display, its modes (names of MODELINES,
    the first one current at start) at the given depth. Needs root.

    Use as a context manager; `display` is the DISPLAY string (":N").
    """

    stop_timeout = 10

    def __init__(self, modes, depth=24):
        super().__init__()
        self.modes, self.depth = list(modes), depth
        self.tmp = None

    def config(self):
        modelines = "\n".join('  Modeline "%s" %s' % (m, MODELINES[m]) for m in self.modes)
        return CONFIG.format(modelines=modelines, depth=self.depth,
                             modes=" ".join('"%s"' % m for m in self.modes))

    def __enter__(self):
        self.tmp = tempfile.mkdtemp(prefix="vorbo-xorg-")
        conf = os.path.join(self.tmp, "xorg.conf")
        with open(conf, "w") as f:
            f.write(self.config())
        confdir = os.path.join(self.tmp, "xorg.conf.d")
        os.mkdir(confdir)
        cmd = ["Xorg", "-config", conf, "-configdir", confdir,
               "-logfile", os.path.join(self.tmp, "Xorg.log"), "-noreset", "-nolisten", "tcp"]
        return self.launch(cmd, "Xorg did not start; see " + os.path.join(self.tmp, "Xorg.log"))

    def __exit__(self, *exc):
        self._stop()
        shutil.rmtree(self.tmp, ignore_errors=True)
