"""Shared fixtures of the end-to-end tests: X servers, program runs, screenshots."""
import contextlib
import glob
import os
import shutil
import signal
import struct
import subprocess
import tempfile
import time

BINARY_DIR = os.environ.get("VORBO_BINARY_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))


def program(name):
    """Absolute path of a built program (vorbo-window, ...)."""
    return os.path.join(BINARY_DIR, name)


class XServer:
    """An X server started on a display number it picks itself (-displayfd),
    so servers started side by side never race for one. Subclasses build the
    command; use as a context manager; `display` is the DISPLAY string (":N")."""

    stop_timeout = 5

    def __init__(self):
        self.proc = None
        self.display = None

    def launch(self, cmd, failure):
        """Starts cmd (with "-displayfd", FD to be appended) and waits until it
        accepts connections; raises RuntimeError(failure) if it never does."""
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(cmd + ["-displayfd", str(write_end)], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, pass_fds=(write_end,))
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
            raise RuntimeError(failure)
        self.display = ":" + number.decode().strip()
        # The number is written once the server listens; wait until a client
        # really gets through as well, so no test races its start-up.
        deadline = time.time() + 20
        while subprocess.run(["xdpyinfo", "-display", self.display], stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL).returncode != 0:
            if time.time() > deadline or self.proc.poll() is not None:
                self._stop()
                raise RuntimeError(failure)
            time.sleep(0.05)
        return self

    def _stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(self.stop_timeout)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()

    def __exit__(self, *exc):
        self._stop()

    def env(self, **extra):
        # No Wayland compositor: vorbo-desktop would choose the one a
        # developer's session names over this server.
        env = {k: v for k, v in os.environ.items() if k != "WAYLAND_DISPLAY"}
        env["DISPLAY"] = self.display
        env.update(extra)
        return env


@contextlib.contextmanager
def display_without_server():
    """A display name ":N" that no X server answers while the context lasts: no socket of N
    exists, and N's lock file is ours, so no X server starts on N meanwhile."""
    with open("/proc/net/unix") as f:
        listening = f.read()
    for n in range(4095, 1000, -1):
        lock = "/tmp/.X%d-lock" % n
        if os.path.exists("/tmp/.X11-unix/X%d" % n) or ("/tmp/.X11-unix/X%d\n" % n) in listening:
            continue
        try:
            fd = os.open(lock, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o444)
        except FileExistsError:
            continue
        # The servers' own format: the owner's pid in ten columns.
        os.write(fd, b"%10d\n" % os.getpid())
        os.close(fd)
        try:
            yield ":%d" % n
        finally:
            os.remove(lock)
        return
    raise RuntimeError("every display number has a server or a lock")


class Xvfb(XServer):
    """An Xvfb server of one screen 640x480 at the given depth.

    Extra arguments go to the server (for example ["-extension", "MIT-SHM"]).
    """

    def __init__(self, depth=24, width=640, height=480, extra=()):
        super().__init__()
        self.depth, self.width, self.height, self.extra = depth, width, height, list(extra)

    def __enter__(self):
        # -noreset: by default the server resets whenever its last client
        # leaves, and a program connecting during a reset is refused.
        cmd = ["Xvfb", "-screen", "0", "%dx%dx%d" % (self.width, self.height, self.depth),
               "-nolisten", "tcp", "-noreset"] + self.extra
        return self.launch(cmd, "Xvfb did not start")


def screenshot(display):
    """The root window of display as (width, height, bytes of R, G, B per pixel, rows top-down)."""
    with tempfile.TemporaryDirectory() as tmp:
        xwd = os.path.join(tmp, "shot.xwd")
        subprocess.run(["xwd", "-root", "-silent", "-display", display, "-out", xwd], check=True)
        size = subprocess.run(["/usr/bin/convert", xwd, "-format", "%w %h", "info:"], check=True,
                              capture_output=True, text=True).stdout.split()
        raw = subprocess.run(["/usr/bin/convert", xwd, "-depth", "8", "rgb:-"], check=True,
                             capture_output=True).stdout
        return int(size[0]), int(size[1]), raw


def save_png(display, path):
    """Saves a screenshot of display's root window as a PNG file."""
    with tempfile.TemporaryDirectory() as tmp:
        xwd = os.path.join(tmp, "shot.xwd")
        subprocess.run(["xwd", "-root", "-silent", "-display", display, "-out", xwd], check=True)
        subprocess.run(["/usr/bin/convert", xwd, path], check=True)


def pixel(shot, x, y):
    """(r, g, b) of one pixel of a screenshot."""
    width, _, raw = shot
    i = (y * width + x) * 3
    return raw[i], raw[i + 1], raw[i + 2]


class FrameDriver:
    """A presenter alone showing a known frame: program (a test driver) writes the frame's pixels
    to the path it is given, says "shown" once they are on screen, and ends at a line on its
    standard input. `frame` holds the pixels, row by row; user is a command prefix (runuser, ...)."""

    def __init__(self, program, env, user=()):
        self.program, self.env, self.user = program, env, list(user)

    def __enter__(self):
        self.tmp = tempfile.TemporaryDirectory()
        path = os.path.join(self.tmp.name, "frame")
        self.proc = subprocess.Popen(self.user + [self.program, path], env=self.env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline().strip()
        if line != "shown":
            self.proc.kill()
            self.proc.wait()
            self.tmp.cleanup()
            raise AssertionError("driver said %r" % line)
        with open(path, "rb") as f:
            data = f.read()
        self.frame = struct.unpack("<%dI" % (len(data) // 4), data)
        return self

    def __exit__(self, *exc):
        if self.proc.poll() is None:
            self.proc.communicate("\n", timeout=10)
        self.tmp.cleanup()


def frame_rows(frame, k):
    """The frame's rows as a screenshot shows them at scale k: R, G, B bytes, each pixel k times."""
    return [b"".join(bytes((p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF)) * k
                     for p in frame[r * 640:(r + 1) * 640]) for r in range(480)]


def wait_until(condition, timeout):
    """True as soon as condition() is; False if it still is not after timeout seconds."""
    deadline = time.time() + timeout
    while not condition():
        if time.time() > deadline:
            return False
        time.sleep(0.05)
    return True


def shm_segments(creator=None):
    """Ids of the System V shared-memory segments that exist now, only those
    created by process id `creator` when it is given."""
    out = subprocess.run(["ipcs", "-m", "-p"], capture_output=True, text=True).stdout
    ids = set()
    for line in out.splitlines():
        fields = line.split()
        if len(fields) >= 3 and fields[0].isdigit() and fields[2].isdigit():
            if creator is None or int(fields[2]) == creator:
                ids.add(fields[0])
    return ids


def wait_segment(pid, timeout=10):
    """True once a segment created by pid exists (the show has attached its image)."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        if shm_segments(creator=pid):
            return True
        time.sleep(0.05)
    return False


def segments_left(pid, timeout=5):
    """The segments pid created that still exist once the server has had time
    to notice the program is gone."""
    deadline = time.time() + timeout
    while shm_segments(creator=pid) and time.time() < deadline:
        time.sleep(0.05)
    return shm_segments(creator=pid)


def data_dir_copy(tmp, drop=()):
    """A working directory whose data/ holds the built media except the names in drop."""
    src = os.path.join(BINARY_DIR, "data")
    dst = os.path.join(tmp, "data")
    os.makedirs(dst)
    for name in os.listdir(src):
        if name not in drop:
            shutil.copy(os.path.join(src, name), dst)
    return tmp


def message_and_reason(err):
    """A failure's standard error as (the program's own message, the line that says why).

    The message is the first line; the reason the one after it, or None."""
    lines = err.splitlines()
    return (lines[0] if lines else None, lines[1] if len(lines) > 1 else None)


# ld.so reads $LIB as the library directory of each program's own word size.
FAKETIME_LIBRARY = "/usr/$LIB/faketime/libfaketime.so.1"


def faketime_installed():
    """Whether libfaketime is there for faster_clock()."""
    return bool(glob.glob(FAKETIME_LIBRARY.replace("$LIB", "lib*/*")))


def faster_clock(env, factor=10):
    """env for a program whose wall clock runs `factor` times faster (libfaketime, preloaded
    after whatever env already preloads). The library is preloaded directly rather than through
    the `faketime` wrapper, which also hands the program a semaphore laid out for the wrapper's
    own word size: a 32-bit x86 program waits on it forever."""
    preload = env.get("LD_PRELOAD")
    return dict(env, LD_PRELOAD=(preload + ":" if preload else "") + FAKETIME_LIBRARY,
                FAKETIME="+0 x%d" % factor)


def stepped_clock(env, step="0.05"):
    """env for a program whose wall clock moves `step` seconds at each reading and not otherwise
    (libfaketime, preloaded after whatever env already preloads): the show takes as many frames
    per second as 1 / step, however busy the machine is."""
    preload = env.get("LD_PRELOAD")
    return dict(env, LD_PRELOAD=(preload + ":" if preload else "") + FAKETIME_LIBRARY,
                FAKETIME="+0 i%s" % step)


TITLE = "Vorbo returns"


def find_window(server, proc, timeout=10):
    """Id of the show's window on server once it exists; fails if proc ends first."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        if proc.poll() is not None:
            raise AssertionError("program ended early: %s" % (proc.communicate(),))
        out = subprocess.run(["xdotool", "search", "--name", "^%s$" % TITLE], env=server.env(),
                             capture_output=True, text=True).stdout.split()
        if out:
            return out[0]
        time.sleep(0.05)
    raise AssertionError("no window titled %r" % TITLE)


def finish(proc, timeout=10):
    """(status, stdout, stderr) of a program that must end by itself within timeout seconds."""
    try:
        out, err = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        out, err = proc.communicate()
        raise AssertionError("program did not end within %s s: %r %r" % (timeout, out, err))
    return proc.returncode, out, err
