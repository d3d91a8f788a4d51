"""An Xorg server with the dummy video driver: real XFree86-VidMode and XFree86-DGA, chosen modes."""
import os
import shutil
import signal
import subprocess
import tempfile

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

CONFIG = """\
Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
  Option "DontVTSwitch" "true"
EndSection
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
Section "ServerLayout"
  Identifier "layout"
  Screen "screen"
EndSection
"""


class XorgDummy:
    """Xorg with the dummy driver on a free display, its modes (names of MODELINES,
    the first one current at start) at the given depth. Needs root.

    Use as a context manager; `display` is the DISPLAY string (":N").
    """

    def __init__(self, modes, depth=24):
        self.modes, self.depth = list(modes), depth
        self.proc = None
        self.display = None
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
        # The server picks a free display number itself and writes it to the
        # pipe once it accepts connections, so servers started side by side never race.
        read_end, write_end = os.pipe()
        cmd = ["Xorg", "-displayfd", str(write_end), "-config", conf, "-configdir", confdir,
               "-logfile", os.path.join(self.tmp, "Xorg.log"), "-noreset", "-nolisten", "tcp"]
        self.proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                     pass_fds=(write_end,))
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as reader:
            while not number.endswith(b"\n"):
                chunk = reader.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            self._stop()
            raise RuntimeError("Xorg did not start; see " + os.path.join(self.tmp, "Xorg.log"))
        self.display = ":" + number.decode().strip()
        return self

    def _stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()

    def __exit__(self, *exc):
        self._stop()
        shutil.rmtree(self.tmp, ignore_errors=True)

    def env(self, **extra):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        env.update(extra)
        return env
