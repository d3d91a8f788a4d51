"""weston for the Wayland tests and benchmarks: a compositor of its own per test, and its screenshots."""
import os
import shutil
import signal
import subprocess
import tempfile
import time


class Weston:
    """weston with the pixman renderer on its headless back-end (or, with x_display, as a
    full-screen window of that X server), in a runtime directory of its own; the socket
    exists once it listens. `env()` is the environment of a client: this compositor, and no
    X display unless `x11` is asked for."""

    def __init__(self, width=1920, height=1080, scale=1, shell=None, xwayland=False,
                 x_display=None):
        self.width, self.height, self.scale = width, height, scale
        self.shell, self.xwayland, self.x_display = shell, xwayland, x_display
        self.socket = "vorbo-test"

    def __enter__(self):
        self.tmp = tempfile.TemporaryDirectory()
        os.chmod(self.tmp.name, 0o700)
        self.log = os.path.join(self.tmp.name, "weston.log")
        base = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        self.base_env = dict(base, XDG_RUNTIME_DIR=self.tmp.name)
        # No animations: a window fading in would show its pixels dimmed for a while.
        config = os.path.join(self.tmp.name, "weston.ini")
        with open(config, "w") as f:
            f.write("[shell]\nanimation=none\nclose-animation=none\nstartup-animation=none\n"
                    "focus-animation=none\n")
        cmd = ["weston", "--use-pixman", "--config=" + config, "--debug", "--idle-time=0",
               "--socket=" + self.socket, "--log=" + self.log]
        server_env = dict(self.base_env)
        # On an X display, the window starts at the screen's size, so that the
        # window manager's full screen does not resize the output at once.
        cmd += ["--width=%d" % self.width, "--height=%d" % self.height]
        if self.x_display:
            cmd += ["--backend=x11-backend.so", "--fullscreen"]
            server_env["DISPLAY"] = self.x_display
        else:
            cmd += ["--backend=headless-backend.so", "--scale=%d" % self.scale]
        if self.shell:
            cmd.append("--shell=" + self.shell)
        if self.xwayland:
            cmd.append("--xwayland")
        self.proc = subprocess.Popen(cmd, env=server_env, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        path = os.path.join(self.tmp.name, self.socket)
        self.wait_for(lambda: os.path.exists(path), "weston did not listen")
        return self

    def wait_for(self, ready, failure, timeout=20):
        """Polls ready() until it is true; fails if weston ends or the deadline passes."""
        deadline = time.time() + timeout
        while not ready():
            if self.proc.poll() is not None or time.time() > deadline:
                log, status = self.log_text()[-2000:], self.proc.poll()
                self.__exit__()
                raise RuntimeError("%s (%s): %s" % (failure, "ended with %s" % status
                                                    if status is not None else "time out", log))
            time.sleep(0.05)

    def log_text(self):
        with open(self.log, errors="replace") if os.path.exists(self.log) else open(os.devnull) as f:
            return f.read()

    def __exit__(self, *exc):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.tmp.cleanup()

    def env(self, x11=None, **extra):
        """A client's environment: this compositor, and the X display x11 if given."""
        env = dict(self.base_env, WAYLAND_DISPLAY=self.socket, **extra)
        if x11:
            env["DISPLAY"] = x11
        return env

    def screenshot(self):
        """The whole output as weston's screenshooter saves it: (width, height, R G B bytes)."""
        with tempfile.TemporaryDirectory() as tmp:
            subprocess.run(["weston-screenshooter"], cwd=tmp, env=self.env(), check=True,
                           timeout=30)
            [name] = os.listdir(tmp)
            png = os.path.join(tmp, name)
            size = subprocess.run(["/usr/bin/convert", png, "-format", "%w %h", "info:"],
                                  check=True, capture_output=True, text=True).stdout.split()
            raw = subprocess.run(["/usr/bin/convert", png, "-alpha", "off", "-depth", "8",
                                  "rgb:-"], check=True, capture_output=True).stdout
            return int(size[0]), int(size[1]), raw


def installed():
    return bool(shutil.which("weston") and shutil.which("weston-screenshooter"))
