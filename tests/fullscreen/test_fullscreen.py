"""The full-screen presenter under a real Xorg (dummy driver) with stand-in video memory, and its programs.

The dummy driver offers the real XFree86-VidMode and XFree86-DGA extensions,
mode lists, grabs and key events, but no video memory that could be mapped:
the test programs replace the DGA video-memory calls with a file of a chosen
line width (fake_dga_video.cpp), and every other call talks to the server.
"""
import os
import pwd
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

import vorbo_test
from xorg_dummy import XorgDummy

HERE = os.environ.get("VORBO_FULLSCREEN_DIR",
                      os.path.join(vorbo_test.BINARY_DIR, "tests", "fullscreen"))
DRIVER = os.path.join(HERE, "fullscreen-driver")
PROBE = os.path.join(HERE, "fullscreen-probe")
FAKE_DEMO = os.path.join(HERE, "vorbo-fullscreen-fake")
FILL = 0xAA  # video memory before the open; the clear must not go beyond the visible area
WIDTH, HEIGHT = 640, 480
IS_ROOT = os.geteuid() == 0
MEDIA_READY = os.path.isdir(os.path.join(vorbo_test.BINARY_DIR, "data"))


def probe(server, *args):
    return subprocess.run([PROBE] + list(args), env=server.env(), capture_output=True, text=True,
                          timeout=20)


def current_mode(server):
    """(width, height, dot clock in kHz) of the server's current mode, read by a second client."""
    out = probe(server, "mode")
    assert out.returncode == 0, out.stderr
    size, clock = out.stdout.split()
    w, h = size.split("x")
    return int(w), int(h), int(clock)


def mode_list(server):
    out = probe(server, "modes")
    assert out.returncode == 0, out.stderr
    modes = []
    for line in out.stdout.splitlines():
        _, size, clock = line.split()
        w, h = size.split("x")
        modes.append((int(w), int(h), int(clock)))
    return modes


def switch_mode(server, w, h):
    out = probe(server, "switch", str(w), str(h))
    assert out.returncode == 0, out.stderr
    return current_mode(server)


def running(pid):
    """True while pid is a process that has not ended (a zombie has)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


def first_difference(a, b):
    for i in range(min(len(a), len(b))):
        if a[i] != b[i]:
            return i
    return min(len(a), len(b))


class Show:
    """One run of a program with stand-in video memory, in a directory of its own.

    Output goes to files, so the split processes of the show can all write to it.
    """

    def __init__(self, server, line_width=1024, memory_bytes=4 << 20, env=None):
        self.tmp = tempfile.mkdtemp(prefix="vorbo-fs-")
        os.chmod(self.tmp, 0o755)  # runs as nobody
        self.memory = os.path.join(self.tmp, "memory")
        with open(self.memory, "wb") as f:
            f.write(bytes([FILL]) * memory_bytes)
        os.chmod(self.memory, 0o666)
        self.log = os.path.join(self.tmp, "log")
        self.reference = os.path.join(self.tmp, "reference")
        self.out_path = os.path.join(self.tmp, "stdout")
        self.err_path = os.path.join(self.tmp, "stderr")
        settings = {"VORBO_FAKE_DGA_MEMORY": self.memory, "VORBO_FAKE_DGA_LOG": self.log,
                    "VORBO_FAKE_DGA_LINE_WIDTH": str(line_width)}
        settings.update(env or {})
        self.env = server.env(**settings)
        self.proc = None

    def copy_program(self, path):
        """A copy of the program that any user may run."""
        dst = os.path.join(self.tmp, os.path.basename(path))
        shutil.copy(path, dst)
        os.chmod(dst, 0o755)
        return dst

    def start(self, command, prefix=(), cwd=None, new_session=False):
        with open(self.out_path, "wb") as out, open(self.err_path, "wb") as err:
            self.proc = subprocess.Popen(list(prefix) + command, stdin=subprocess.PIPE, stdout=out,
                                         stderr=err, env=self.env, cwd=cwd or self.tmp,
                                         start_new_session=new_session)
        return self

    def driver(self, updates, mode, prefix=(), program=DRIVER, new_session=False):
        return self.start([program, self.reference, str(updates), mode], prefix=prefix,
                          new_session=new_session)

    def stdout(self):
        with open(self.out_path) as f:
            return f.read()

    def stderr(self):
        with open(self.err_path) as f:
            return f.read()

    def log_lines(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return f.read().splitlines()

    def wait_for(self, condition, what, timeout=20):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if condition():
                return
            if self.proc.poll() is not None and not condition():
                raise AssertionError("ended (%s) before %s; stdout %r stderr %r log %r" % (
                    self.proc.returncode, what, self.stdout(), self.stderr(), self.log_lines()))
            time.sleep(0.02)
        raise AssertionError("no %s within %d s; stdout %r log %r" % (
            what, timeout, self.stdout(), self.log_lines()))

    def wait_output(self, line, timeout=20):
        self.wait_for(lambda: line in self.stdout().splitlines(), repr(line), timeout)

    def finish(self, timeout=30):
        """The status of the process that was started, once it ended."""
        try:
            self.proc.stdin.close()
        except BrokenPipeError:
            pass
        return self.proc.wait(timeout)

    def send_line(self):
        self.proc.stdin.write(b"\n")
        self.proc.stdin.flush()

    def show_pid(self):
        """The process that runs the show, as the stand-in fork reported it."""
        for line in self.log_lines():
            if line.startswith("fork_app ") and line.split()[1].isdigit():
                return int(line.split()[1])
        raise AssertionError("no show process in %r" % self.log_lines())

    def memory_bytes(self, suffix=""):
        with open(self.memory + suffix, "rb") as f:
            return f.read()

    def close(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.tmp, ignore_errors=True)


class ServerTest(unittest.TestCase):
    """Starts one server for the test class; each test gets a fresh Show."""
    modes = ["1024x768"]
    depth = 24

    @classmethod
    def setUpClass(cls):
        if not IS_ROOT:
            raise unittest.SkipTest("the full-screen presenter and Xorg need root")
        cls.server = XorgDummy(cls.modes, cls.depth).__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.server.__exit__(None, None, None)

    def show(self, **kw):
        s = Show(self.server, **kw)
        self.addCleanup(s.close)
        return s

    def check_video_memory(self, show, line_width, visible_height, bpp, start):
        """The open cleared exactly the visible area, and each frame row is the
        converter's output at start + row * pitch, the rest of the area still clear."""
        pitch = line_width * bpp
        visible = line_width * visible_height * bpp
        opened = show.memory_bytes(".open")
        self.assertTrue(opened[:visible] == bytes(visible), "visible area not cleared at open")
        self.assertTrue(opened[visible:] == bytes([FILL]) * (len(opened) - visible),
                        "the clear went beyond the visible area")

        with open(show.reference, "rb") as f:
            reference = f.read()
        expected = bytearray(visible)
        row = WIDTH * bpp
        for r in range(HEIGHT):
            expected[start + r * pitch:start + r * pitch + row] = reference[r * WIDTH * 4:r * WIDTH * 4 + row]
        memory = show.memory_bytes()
        if memory[:visible] != expected:
            i = first_difference(memory[:visible], expected)
            self.fail("video memory differs at byte %d (row %d)" % (i, (i - start) // pitch))
        self.assertTrue(memory[visible:] == bytes([FILL]) * (len(memory) - visible),
                        "a frame row went beyond the visible area")

    def assert_open_failed(self, show):
        status = show.finish()
        self.assertEqual(status, 1, show.stdout() + show.stderr())
        self.assertIn("open failed", show.stdout())
        self.assertNotIn("direct_video %d" % 14, show.log_lines())
        memory = show.memory_bytes()
        self.assertTrue(memory == bytes([FILL]) * len(memory), "a failed open wrote video memory")


class ModeSwitchTest(ServerTest):
    """A mode list with two 640x480 entries: the first one is switched to."""
    modes = ["1024x768", "800x600", "640x480", "640x480b"]

    def test_switches_to_first_640x480_and_back_at_close(self):
        # The mode current at open is not the list's first entry.
        before = switch_mode(self.server, 800, 600)
        first = next(m for m in mode_list(self.server) if m[:2] == (WIDTH, HEIGHT))
        show = self.show(line_width=1024).driver(3, "hold")
        show.wait_output("shown")
        self.assertEqual(current_mode(self.server), first)
        show.send_line()
        self.assertEqual(show.finish(), 0)
        self.assertIn("closed", show.stdout())
        self.assertEqual(current_mode(self.server), before)

        log = show.log_lines()
        self.assertIn("get_viewport_size 640 480", log)
        self.assertLess(log.index("direct_video 14"), log.index("set_viewport 0 0"))
        self.assertLess(log.index("set_viewport 0 0"), log.index("direct_video 0"))
        self.check_video_memory(show, line_width=1024, visible_height=480, bpp=4, start=0)

    def test_line_width_beyond_visible_width(self):
        switch_mode(self.server, 1024, 768)
        show = self.show(line_width=1600).driver(1, "close")
        self.assertEqual(show.finish(), 0)
        self.assertIn("closed", show.stdout())
        self.check_video_memory(show, line_width=1600, visible_height=480, bpp=4, start=0)

    def test_escape_ends_show_and_mode_comes_back(self):
        before = switch_mode(self.server, 1024, 768)
        show = self.show().driver(1, "wait")
        show.wait_output("shown")
        subprocess.run(["xdotool", "key", "Escape"], env=self.server.env(), check=True, timeout=20)
        # The process that was started reports how the show ended: by itself.
        self.assertEqual(show.finish(), 0)
        self.assertIn("escape", show.stdout())
        self.assertNotIn("timeout", show.stdout())
        self.assertIn("waiter direct_video 0 status %d" % (1 << 8), show.log_lines())
        self.assertEqual(current_mode(self.server), before)

    @unittest.skipUnless(os.path.exists(FAKE_DEMO) and MEDIA_READY,
                         "the show with stand-in video memory or its media are not built")
    def test_demo_escape_ends_show_and_mode_comes_back(self):
        before = switch_mode(self.server, 800, 600)
        show = self.show()
        vorbo_test.data_dir_copy(show.tmp)
        show.start([FAKE_DEMO, "-nosound"])
        show.wait_for(lambda: "set_viewport 0 0" in show.log_lines(), "the open")
        self.assertEqual(current_mode(self.server)[:2], (WIDTH, HEIGHT))
        # The open cleared the visible area: the show runs once a frame lands there.
        show.wait_for(lambda: any(show.memory_bytes()[:1024 * HEIGHT * 4]), "the first frame")
        subprocess.run(["xdotool", "key", "Escape"], env=self.server.env(), check=True, timeout=20)
        self.assertEqual(show.finish(), 0)
        self.assertEqual(show.stderr(), "Premature exit from demo\n")
        self.assertIn("waiter direct_video 0 status %d" % (1 << 8), show.log_lines())
        self.assertEqual(current_mode(self.server), before)

    def test_killed_show_mode_comes_back(self):
        before = switch_mode(self.server, 1024, 768)
        show = self.show().driver(1, "hold")
        show.wait_output("shown")
        os.kill(show.show_pid(), signal.SIGKILL)
        self.assertEqual(show.finish(), 255)
        self.assertEqual(current_mode(self.server), before)

    def test_killed_starter_the_show_puts_the_mode_back_and_ends(self):
        before = switch_mode(self.server, 1024, 768)
        show = self.show().driver(1, "wait")
        show.wait_output("shown")
        show.proc.kill()
        show.proc.wait()
        # The show notices at its next update, as if Escape was pressed, and
        # the process between it and the starter ends after it.
        deadline = time.time() + 10
        while time.time() < deadline and not any(
                line.startswith("waiter direct_video 0") for line in show.log_lines()):
            time.sleep(0.02)
        self.assertIn("escape", show.stdout().splitlines())
        self.assertIn("waiter direct_video 0 status %d" % (1 << 8), show.log_lines())
        self.assertEqual(current_mode(self.server), before)
        grab = subprocess.run([PROBE, "grab", "keyboard"], env=self.server.env(), input="",
                              capture_output=True, text=True, timeout=20)
        self.assertIn("grabbed", grab.stdout)

    def test_killed_waiting_process_the_mode_comes_back_after_the_show(self):
        before = switch_mode(self.server, 1024, 768)
        show = self.show().driver(1, "wait")
        show.wait_output("shown")
        shown = show.show_pid()
        with open("/proc/%d/stat" % shown) as f:
            waiting = int(f.read().rsplit(")", 1)[1].split()[1])
        os.kill(waiting, signal.SIGKILL)
        self.assertEqual(show.finish(), 255)
        # The show went with the process between; the starter put the mode
        # back only after that, and returned only once the show's process was
        # reaped (not merely closing its files): not even a zombie is left.
        self.assertFalse(running(shown))
        self.assertFalse(os.path.exists("/proc/%d" % shown), "the show's process was not reaped")
        self.assertEqual(current_mode(self.server), before)

    def test_interrupt_key_mode_comes_back(self):
        # The terminal's interrupt reaches every process of the show.
        before = switch_mode(self.server, 1024, 768)
        show = self.show().driver(1, "hold", new_session=True)
        show.wait_output("shown")
        os.killpg(show.proc.pid, signal.SIGINT)
        self.assertEqual(show.finish(), 255)
        self.assertEqual(current_mode(self.server), before)

    def test_failed_open_leaves_mode_as_it_was(self):
        strace = shutil.which("strace")
        cases = [
            ("keyboard grabbed by another client", {}, (), "keyboard"),
            ("pointer grabbed by another client", {}, (), "pointer"),
            # Effective id 0 without the capability to set ids: setuid only
            # changes the effective id, and the saved one stays 0.
            ("privilege only half given up", {},
             ("setpriv", "--ruid=65534", "--euid=0", "--bounding-set=-setuid"), None),
            ("fork guard failed", {"VORBO_FAKE_DGA_FAIL": "fork_app"}, (), None),
            ("no viewport size", {"VORBO_FAKE_DGA_FAIL": "get_viewport_size"}, (), None),
            ("line width below the visible width", {"VORBO_FAKE_DGA_LINE_WIDTH": "600"}, (), None),
            ("no video memory", {"VORBO_FAKE_DGA_FAIL": "get_video"}, (), None),
            ("banked video memory", {"VORBO_FAKE_DGA_BANKSIZE": "65536"}, (), None),
            ("not root", {}, ("setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"), None),
        ]
        if strace:
            # A 32-bit x86 program's C library calls setuid32, not setuid.
            cases.append(("setuid refused", {}, (strace, "-f", "-qq", "-o", "/dev/null", "-e",
                                                   "trace=setuid,setuid32", "-e",
                                                   "inject=setuid,setuid32:error=EPERM"), None))
        for name, env, prefix, grab in cases:
            with self.subTest(name):
                before = switch_mode(self.server, 800, 600)
                holder = None
                if grab:
                    holder = subprocess.Popen([PROBE, "grab", grab], stdin=subprocess.PIPE,
                                              stdout=subprocess.PIPE, env=self.server.env())
                    self.assertEqual(holder.stdout.readline().strip(), b"grabbed")
                try:
                    show = self.show(env=env)
                    show.driver(1, "close", prefix=prefix, program=show.copy_program(DRIVER))
                    self.assert_open_failed(show)
                finally:
                    if holder:
                        holder.stdin.close()
                        holder.stdout.close()
                        holder.wait(10)
                self.assertEqual(current_mode(self.server), before)
                if name == "fork guard failed":
                    self.assertIn("direct_video 0", show.log_lines())
                if name == "not root":
                    self.assertEqual(show.log_lines(), [])

    def test_memory_too_small_for_visible_area(self):
        before = switch_mode(self.server, 1024, 768)
        # One byte short of 1024 x 480 x 4.
        show = self.show(line_width=1024, memory_bytes=1024 * 480 * 4 - 1).driver(1, "close")
        self.assert_open_failed(show)
        self.assertEqual(current_mode(self.server), before)

    @unittest.skipUnless(os.path.exists(vorbo_test.program("vorbo-fullscreen")), "not built")
    def test_program_not_root(self):
        before = switch_mode(self.server, 800, 600)
        show = self.show()
        program = show.copy_program(vorbo_test.program("vorbo-fullscreen"))
        show.start([program, "-nosound"], prefix=("setpriv", "--reuid=nobody", "--regid=nogroup",
                                                  "--clear-groups"))
        self.assertEqual(show.finish(), 1)
        self.assertEqual(vorbo_test.message_and_reason(show.stderr())[0], "Unable to open display")
        self.assertNotIn("Set up, starting demo", show.stdout())
        self.assertEqual(current_mode(self.server), before)


    @unittest.skipUnless(os.path.exists(vorbo_test.program("vorbo-fullscreen")), "not built")
    def test_program_without_mappable_memory(self):
        # The real DGA library cannot map this server's video memory and
        # would end the process itself; the open tries the mapping first and
        # fails cleanly instead, before any mode switch.
        before = switch_mode(self.server, 800, 600)
        show = self.show()
        show.start([vorbo_test.program("vorbo-fullscreen"), "-nosound"])
        self.assertEqual(show.finish(), 1)
        message, reason = vorbo_test.message_and_reason(show.stderr())
        self.assertEqual(message, "Unable to open display")
        self.assertIn("video memory", reason)
        self.assertNotIn("Set up, starting demo", show.stdout())
        self.assertEqual(current_mode(self.server), before)


NOBODY = ("setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups")


class PrivilegeTest(ServerTest):
    """A copy installed setuid root and started by an ordinary user holds root
    only to map the video memory; started by root (sudo) nothing changes."""
    modes = ["1024x768", "640x480"]

    def setuid_copy(self, show, program):
        path = show.copy_program(program)
        os.chown(path, 0, 0)
        os.chmod(path, 0o4755)
        return path

    @unittest.skipUnless(os.path.exists(FAKE_DEMO) and MEDIA_READY,
                         "the show with stand-in video memory or its media are not built")
    def test_the_sound_library_runs_as_the_user(self):
        show = self.show()
        vorbo_test.data_dir_copy(show.tmp)
        root_only = tempfile.mkdtemp(prefix="vorbo-root-")
        self.addCleanup(shutil.rmtree, root_only, True)
        os.chmod(root_only, 0o700)
        written = os.path.join(root_only, "sound.raw")
        show.env.update(SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=written)
        show.start([self.setuid_copy(show, FAKE_DEMO)], prefix=NOBODY)
        self.assertEqual(show.finish(), 1)
        self.assertFalse(os.path.exists(written), "the sound library wrote as root")
        self.assertEqual(vorbo_test.message_and_reason(show.stderr())[0], "Sound init error")
        self.assertEqual(show.log_lines(), [])

    def test_root_is_held_only_to_map_the_video_memory(self):
        before = switch_mode(self.server, 1024, 768)
        show = self.show()
        os.chmod(show.memory, 0o600)  # only root may map the stand-in memory
        show.driver(1, "close", prefix=NOBODY, program=self.setuid_copy(show, DRIVER))
        self.assertEqual(show.finish(), 0, show.stdout() + show.stderr())
        nobody = pwd.getpwnam("nobody").pw_uid
        self.assertIn("ids %d %d %d" % (nobody, nobody, nobody), show.stdout().splitlines())
        self.assertIn("get_video euid 0", show.log_lines())
        self.assertEqual(current_mode(self.server), before)

    def test_started_by_root_as_before(self):
        show = self.show()
        os.chmod(show.memory, 0o600)
        show.driver(1, "close")
        self.assertEqual(show.finish(), 0, show.stdout() + show.stderr())
        self.assertIn("ids 0 0 0", show.stdout().splitlines())
        self.assertIn("get_video euid 0", show.log_lines())


class CentredTest(ServerTest):
    """No 640x480 mode: the frame is centred in the current 1024x768 mode at 16 bpp."""
    modes = ["1024x768"]
    depth = 16

    def test_centred_at_16_bpp(self):
        show = self.show(line_width=1024, memory_bytes=2 << 20).driver(2, "hold")
        show.wait_output("shown")
        self.assertEqual(current_mode(self.server)[:2], (1024, 768))
        show.send_line()
        self.assertEqual(show.finish(), 0)
        self.assertIn("closed", show.stdout())
        self.assertEqual(current_mode(self.server)[:2], (1024, 768))
        # ((768 - 480) / 2 * 1024 + (1024 - 640) / 2) * 2, rows 2048 bytes apart.
        self.check_video_memory(show, line_width=1024, visible_height=768, bpp=2, start=295296)

    def test_centred_line_width_beyond_visible_width(self):
        show = self.show(line_width=1280, memory_bytes=2 << 20).driver(1, "close")
        self.assertEqual(show.finish(), 0)
        self.check_video_memory(show, line_width=1280, visible_height=768, bpp=2,
                                start=(144 * 1280 + 192) * 2)


class TooSmallTest(ServerTest):
    """A current mode smaller than the frame and no 640x480 mode: no negative offset."""
    modes = ["512x384"]

    def test_open_fails(self):
        show = self.show(line_width=512).driver(1, "close")
        self.assert_open_failed(show)
        self.assertEqual(current_mode(self.server)[:2], (512, 384))


class NoExtensionTest(unittest.TestCase):
    """A server without XFree86-DGA and XFree86-VidMode."""

    @unittest.skipUnless(IS_ROOT, "the full-screen presenter needs root")
    def test_open_fails_on_xvfb(self):
        with vorbo_test.Xvfb() as server:
            show = Show(server)
            try:
                show.driver(1, "close")
                self.assertEqual(show.finish(), 1)
                self.assertIn("open failed", show.stdout())
                self.assertEqual(show.log_lines(), [])
                program = vorbo_test.program("vorbo-fullscreen")
                if os.path.exists(program):
                    run = subprocess.run([program, "-nosound"], env=server.env(), capture_output=True,
                                         text=True, timeout=30, cwd=show.tmp)
                    self.assertEqual(run.returncode, 1)
                    self.assertEqual(vorbo_test.message_and_reason(run.stderr)[0],
                                     "Unable to open display")
            finally:
                show.close()


def run_programs(names, args, tmp):
    """Runs the programs side by side, each in a data copy of its own; (status, stdout, stderr) each."""
    fast = vorbo_test.faketime_installed()
    procs = []
    for name in names:
        cwd = os.path.join(tmp, name)
        os.makedirs(cwd)
        vorbo_test.data_dir_copy(cwd)
        # The show is timed by the wall clock: ten times faster is the same show.
        env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        procs.append(subprocess.Popen([vorbo_test.program(name)] + args, cwd=cwd,
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                      env=vorbo_test.faster_clock(env) if fast else env))
    results = []
    for p in procs:
        out, err = p.communicate(timeout=200)
        results.append((p.returncode, out, err))
    return results


PROGRAMS = ["vorbo-fullscreen", "vorbo-window", "vorbo-fullscreen-legacy", "vorbo-window-legacy"]


@unittest.skipUnless(all(os.path.exists(vorbo_test.program(p)) for p in PROGRAMS) and MEDIA_READY,
                     "programs or media not built")
class NoGraphicsTest(unittest.TestCase):
    """With -nogfx the full-screen programs run as the window ones do: no display needed."""

    def test_like_window_programs(self):
        tmp = tempfile.mkdtemp(prefix="vorbo-nogfx-")
        try:
            for args in (["-nogfx", "-nosound"], ["-nogfx", "-nogfx", "-bogus"]):
                with self.subTest(args=args):
                    sub = os.path.join(tmp, str(len(os.listdir(tmp))))
                    results = run_programs(PROGRAMS, args, sub)
                    self.assertEqual(results[0], results[1])
                    self.assertEqual(results[2], results[3])
                    status = 1 if "-bogus" in args else 0
                    self.assertEqual(results[0][0], status, results[0])
                    self.assertEqual(results[2][0], status, results[2])
        finally:
            shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    unittest.main(verbosity=2)
