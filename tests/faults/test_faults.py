"""Faults a viewer can meet: the display or the program killed mid-show, no audio device, broken
module, pictures and meshes, an unusable data directory. Each must end (or go on) with a clear
message, promptly, and leave no shared-memory segment behind.

Covered elsewhere and not repeated here: kill -9 during the show, an 8-bit display and a server
without MIT-SHM (tests/window); an unknown audio driver and a missing, empty or random-bytes
module (tests/sound)."""
import os
import re
import resource
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unittest

import vorbo_test

PROGRAM = vorbo_test.program("vorbo-window")
SET_UP = "Set up, starting demo"
# The sanitizer build cannot run under an address-space limit.
SANITIZED = bool(os.environ.get("VORBO_SANITIZED"))
IS_ROOT = os.geteuid() == 0


def sound_env(server=None, **extra):
    """The environment of a run: the given display (or none) and SDL's silent audio driver."""
    env = server.env() if server else {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env["SDL_AUDIODRIVER"] = "dummy"
    env.update(extra)
    return env


def start(args, cwd, env, preexec_fn=None, prefix=()):
    return subprocess.Popen(list(prefix) + [PROGRAM] + list(args), cwd=cwd, env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, preexec_fn=preexec_fn)


def stop(proc):
    """Ends a program that is still showing, as a viewer's kill would; its output."""
    proc.send_signal(signal.SIGTERM)
    status, out, err = vorbo_test.finish(proc)
    return status, out, err


def still_running_after(proc, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if proc.poll() is not None:
            return False
        time.sleep(0.05)
    return True


def ignores_signal(pid, sig):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("SigIgn:"):
                return bool(int(line.split()[1], 16) >> (sig - 1) & 1)
    return False


def lost_display(display):
    """Xlib's line for a connection the server dropped, naming the display. Which of its two
    wordings comes depends only on whether the program met the loss writing a request (the
    write fails with EPIPE: "broken") or reading a reply or event (end of file: "fatal IO
    error" with whatever errno the last read left)."""
    name = re.escape(display)
    return re.compile(r"(?m)^(X connection to %s broken \(explicit kill or server shutdown\)\."
                      r"|XIO:  fatal IO error \d+ \([^)]*\) on X server \"%s\")$" % (name, name))


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def tga_header(width, height):
    """An 18-byte Targa header of an uncompressed 32-bit picture with a 20-byte image ID."""
    return bytes([20, 0, 2]) + bytes(5) + struct.pack("<HHHH", 0, 0, width, height) + bytes([32, 0x28])


class Workdir:
    """A working directory with a copy of the built media; removed afterwards."""

    def __init__(self, drop=()):
        self.drop = drop

    def __enter__(self):
        self.path = tempfile.mkdtemp(prefix="vorbo-faults-")
        vorbo_test.data_dir_copy(self.path, drop=self.drop)
        return self

    def data(self, name):
        return os.path.join(self.path, "data", name)

    def __exit__(self, *exc):
        shutil.rmtree(self.path, ignore_errors=True)


class DisplayAndSignals(unittest.TestCase):
    def test_x_server_killed_during_the_show(self):
        with Workdir() as work, vorbo_test.Xvfb() as server:
            proc = start([], work.path, sound_env(server))
            self.assertTrue(vorbo_test.wait_segment(proc.pid), "the show never attached its image")
            self.assertTrue(still_running_after(proc, 0.5))
            # Whether the server's end shows first as a failed write (SIGPIPE)
            # or a failed read depends on timing; the write must not kill.
            self.assertTrue(ignores_signal(proc.pid, signal.SIGPIPE), "a write to the lost server would kill")
            server.proc.kill()
            server.proc.wait()
            gone = time.time()
            status, out, err = vorbo_test.finish(proc, timeout=5)
            self.assertLess(time.time() - gone, 1.0, "the program outlived its display by a second")
            self.assertNotEqual(status, 0)
            self.assertGreater(status, 0, "ended by a signal, not by a failure exit: %r" % err)
            self.assertIn(SET_UP, out)
            self.assertRegex(err, lost_display(server.display))
            self.assertEqual(vorbo_test.segments_left(proc.pid), set())

    def test_interrupt_and_terminate_end_the_show_without_leftovers(self):
        # kill -9 is covered in tests/window; these are the viewer's Ctrl-C and
        # a polite kill, with the soundtrack playing.
        for sig in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal=sig.name), Workdir() as work, vorbo_test.Xvfb() as server:
                proc = start([], work.path, sound_env(server))
                self.assertTrue(vorbo_test.wait_segment(proc.pid))
                proc.send_signal(sig)
                status, _, _ = vorbo_test.finish(proc, timeout=5)
                self.assertEqual(status, -sig)
                self.assertEqual(vorbo_test.segments_left(proc.pid), set())


class Reasons(unittest.TestCase):
    """Every display the programs cannot use says why, on the line after the program's message."""

    def reason(self, program, env, prefix=()):
        with tempfile.TemporaryDirectory() as work:
            os.chmod(work, 0o755)
            result = subprocess.run(list(prefix) + [vorbo_test.program(program), "-nosound"], cwd=work,
                                    env=env, capture_output=True, text=True, timeout=30)
        self.assertEqual(result.returncode, 1, result.stderr)
        message, reason = vorbo_test.message_and_reason(result.stderr)
        self.assertEqual(message, "Unable to open display")
        self.assertEqual(result.stderr.count("\n"), 2, result.stderr)
        return reason

    def test_displays_the_window_cannot_use(self):
        for depth, extra, why in [
                (8, [], "the display's default visual is depth 8, 8 bits per pixel"),
                (30, [], "the display's default visual is depth 30, 32 bits per pixel, masks red "
                         "0x3ff00000 green 0xffc00 blue 0x3ff"),
                (24, ["-extension", "MIT-SHM"], "the display has no MIT-SHM extension (a remote "
                                                "display over ssh has none)")]:
            with self.subTest(depth=depth, extra=extra), vorbo_test.Xvfb(depth=depth, extra=extra) as server:
                self.assertTrue(self.reason("vorbo-window", server.env()).startswith(why))

    def test_no_display(self):
        env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        self.assertTrue(self.reason("vorbo-window", env).startswith("DISPLAY is not set: "))
        with vorbo_test.display_without_server() as display:
            env["DISPLAY"] = display
            self.assertTrue(self.reason("vorbo-desktop", env).startswith(
                "cannot connect to the X display %s" % display))

    @unittest.skipUnless(IS_ROOT, "needs root to be refused as another user")
    def test_full_screen_as_a_user_and_on_a_server_without_dga(self):
        nobody = ("setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups")
        with vorbo_test.Xvfb() as server:
            # The hint names the program as started, a path that sudo finds.
            self.assertTrue(self.reason("vorbo-fullscreen", server.env(), nobody).startswith(
                "vorbo-fullscreen must be started as root (sudo %s)"
                % vorbo_test.program("vorbo-fullscreen")))
            self.assertTrue(self.reason("vorbo-fullscreen", server.env()).startswith(
                "the X server has no XFree86-DGA extension"))


class Sound(unittest.TestCase):
    def test_no_audio_device(self):
        # Real output drivers pointed at devices that do not exist: the sound
        # library's own chatter may come first, the program's line is last.
        cases = {
            "alsa": {"AUDIODEV": "hw:CARD=vorbo_none"},
            "pulseaudio": {"PULSE_SERVER": "unix:/nonexistent/vorbo/socket"},
            "dsp": {"AUDIODEV": "/nonexistent/vorbo/dsp"},
        }
        with Workdir() as work:
            for driver, extra in cases.items():
                with self.subTest(driver=driver):
                    proc = start(["-nogfx"], work.path, sound_env(SDL_AUDIODRIVER=driver, **extra))
                    status, out, err = vorbo_test.finish(proc)
                    self.assertEqual(status, 1)
                    # The audio layer's reason, and none of its libraries' noise.
                    message, reason = vorbo_test.message_and_reason(err)
                    self.assertEqual((message, err.count("\n")), ("Sound init error", 2), err)
                    self.assertTrue(reason.startswith("no audio output: "), reason)
                    self.assertTrue(reason.endswith("; run with -nosound to watch without sound"), reason)
                    self.assertNotIn(SET_UP, out)

    def test_truncated_module(self):
        with Workdir() as work:
            with open(work.data("test.xm"), "rb") as f:
                module = f.read()
            # Cut inside the fixed header: refused before anything else starts.
            for cut in (17, 59):
                with self.subTest(cut=cut):
                    write(work.data("test.xm"), module[:cut])
                    status, out, err = vorbo_test.finish(start(["-nogfx"], work.path, sound_env()))
                    self.assertEqual((status, vorbo_test.message_and_reason(err)), (1, ("Sound load error", "data/test.xm: not a module")))
                    self.assertNotIn(SET_UP, out)
            # Cut after the header, in the patterns or the samples: either
            # refused the same way or played as far as it goes; never a crash.
            for cut in (400, len(module) // 2, len(module) - 1):
                with self.subTest(cut=cut):
                    write(work.data("test.xm"), module[:cut])
                    proc = start(["-nogfx"], work.path, sound_env())
                    if still_running_after(proc, 1.5):
                        status, out, err = stop(proc)
                        self.assertEqual(status, -signal.SIGTERM)
                        self.assertIn(SET_UP, out)
                        self.assertEqual(err, "")
                    else:
                        status, out, err = vorbo_test.finish(proc)
                        self.assertEqual((status, vorbo_test.message_and_reason(err)), (1, ("Sound load error", "data/test.xm: not a module")))


class Pictures(unittest.TestCase):
    def test_missing_picture_with_the_window_open(self):
        # Pictures load after the window has opened and the soundtrack has
        # started: the exit must not hang on the playing sound nor leave the
        # window's segment behind.
        with Workdir(drop=("greet.tga",)) as work, vorbo_test.Xvfb() as server:
            proc = start([], work.path, sound_env(server))
            status, out, err = vorbo_test.finish(proc)
            self.assertEqual((status, vorbo_test.message_and_reason(err)),
                             (1, ("fopen(data/greet.tga)", "data/greet.tga: No such file or directory")))
            self.assertIn(SET_UP, out)
            self.assertEqual(vorbo_test.segments_left(proc.pid), set())

    def test_truncated_pictures(self):
        with Workdir() as work:
            with open(work.data("silence.tga"), "rb") as f:
                picture = f.read()
            # Shorter than the header: the system's reason, exit 1.
            write(work.data("silence.tga"), picture[:10])
            status, out, err = vorbo_test.finish(start(["-nosound", "-nogfx"], work.path, sound_env()))
            self.assertEqual(status, 1)
            self.assertTrue(err.startswith("read(): ") and err.endswith("\n") and err.count("\n") == 1, err)
            # Ending inside the pixels: the rest is black and the show goes on
            # (this picture is the one shown first).
            write(work.data("silence.tga"), picture[: len(picture) // 3 + 1])
            proc = start(["-nosound", "-nogfx"], work.path, sound_env())
            running = still_running_after(proc, 1.5)
            status, out, err = stop(proc) if running else vorbo_test.finish(proc)
            self.assertTrue(running, (status, out, err))
            self.assertEqual((status, err), (-signal.SIGTERM, ""))

    def test_huge_header(self):
        # 65535 x 65535 pixels (16 GiB) with no pixel bytes behind the header.
        with Workdir() as work, vorbo_test.Xvfb() as server:
            write(work.data("silence.tga"), tga_header(65535, 65535) + bytes(20))
            no_memory = "data/silence.tga: no memory for 65535x65535 pixels\n"
            # The sanitizers' allocator refuses sizes it cannot map the way
            # the C library does: return null, and let the program say so.
            env = sound_env(server, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":allocator_may_return_null=1")
            if not SANITIZED:
                # Where the memory cannot be had: refused with a clear line.
                def limit():
                    resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))

                proc = start(["-nosound"], work.path, env, preexec_fn=limit)
                status, out, err = vorbo_test.finish(proc)
                self.assertEqual((status, err), (1, no_memory))
                self.assertEqual(vorbo_test.segments_left(proc.pid), set())
            # Where it can (the block is mapped, only the part drawn is ever
            # touched): the picture is clipped to the frame and the show goes on.
            proc = start(["-nosound"], work.path, env)
            if still_running_after(proc, 2):
                status, out, err = stop(proc)
                self.assertEqual((status, err), (-signal.SIGTERM, ""))
            else:
                status, out, err = vorbo_test.finish(proc)
                self.assertEqual((status, err), (1, no_memory))
            self.assertEqual(vorbo_test.segments_left(proc.pid), set())


BAD_MESHES = {
    # Corners naming positions that do not exist (zero, negative, past the end).
    "bad indices": ("v 0 0 0\nv 10 0 0\nv 0 0 10\nf 1/ 2/ 3/\nf 1/ 2/ 9/\n",
                    "v 0 0 0\nv 10 0 0\nv 0 0 10\nf 0/ 1/ 2/\nf -1/ -2/ -3/\n"),
    # Faces with no area: repeated and collinear corners, a position no face uses.
    "degenerate faces": ("v 0 0 0\nv 10 10 10\nv 20 20 20\nv 5 5 5\nf 1/ 1/ 1/\nf 1/ 2/ 3/\n",
                         "v 0 0 0\nv 0 0 0\nv 0 0 0\nf 1/ 2/ 3/ 1/\nv 99 99 99\n"),
    # Positions only, nothing at all, and lines of no kind the loader knows.
    "no faces": ("v 0 0 0\nv 1 1 1\n", "o jet\ns 1\nl 1 2\n"),
    # Numbers too large for any normal, and faces far outside the view or
    # reaching past the viewer.
    "out of view": ("v 1e300 0 0\nv 0 1e300 0\nv 0 0 -1e300\nf 1/ 2/ 3/\nf 3/ 2/ 1/\n",
                    "v 1000000 0 0\nv 1000000 0 10\nv 1000010 0 0\nv -5 -40 -5\nv 5 -40 -5\nv 0 -40 300\n"
                    "f 1/ 2/ 3/\nf 3/ 2/ 1/\nf 4/ 5/ 6/\nf 6/ 5/ 4/\n"),
}


@unittest.skipUnless(vorbo_test.faketime_installed(), "needs libfaketime to run the show ten times faster")
class Meshes(unittest.TestCase):
    def test_bad_meshes_do_not_stop_the_show(self):
        # The cube and the jet each show for several seconds; at ten times the
        # speed the whole show takes six. All cases run side by side.
        runs = []
        try:
            for name, (cube, jet) in BAD_MESHES.items():
                work = Workdir().__enter__()
                write(work.data("cube.obj"), cube.encode())
                write(work.data("f16.obj"), jet.encode())
                proc = start(["-nosound", "-nogfx"], work.path, vorbo_test.faster_clock(sound_env()))
                runs.append((name, work, proc))
            for name, work, proc in runs:
                with self.subTest(mesh=name):
                    status, out, err = vorbo_test.finish(proc, timeout=60)
                    self.assertEqual(status, 0, err)
                    self.assertIn("Loading object data/cube.obj... ", out)
                    self.assertIn("Loading object data/f16.obj... ", out)
                    # What the loader says is up to it; a failed drawing check is
                    # not, except for faces outside the view: meshes are not
                    # clipped, and the polygon fill refuses such faces with a
                    # check message, frame by frame.
                    if name != "out of view":
                        self.assertNotIn("check `", err)
        finally:
            for _, work, proc in runs:
                if proc.poll() is None:
                    proc.kill()
                    proc.wait()
                work.__exit__()

    def test_unreadable_vertex_ends_the_show_with_its_line(self):
        # A "v" line without three numbers stops loading at once, by design;
        # with the window open, nothing may be left behind.
        with Workdir() as work, vorbo_test.Xvfb() as server:
            write(work.data("cube.obj"), b"# cube\nv 0 0 0\nv 1 1\nf 1/ 2/ 1/\n")
            proc = start(["-nosound"], work.path, sound_env(server))
            status, out, err = vorbo_test.finish(proc)
            self.assertNotEqual(status, 0)
            self.assertIn("Syntax error in obj file: Vertex 2 is all bad on line 3\n", err)
            self.assertEqual(vorbo_test.segments_left(proc.pid), set())


NO_DATA = ("there is no data directory here: the programs read their media from data/ in the "
           "working directory (the build folder after a build)")


class DataDirectory(unittest.TestCase):
    def test_data_is_a_file(self):
        with vorbo_test.Xvfb() as server:
            work = tempfile.mkdtemp(prefix="vorbo-faults-")
            try:
                write(os.path.join(work, "data"), b"not a directory\n")
                status, out, err = vorbo_test.finish(start([], work, sound_env(server)))
                self.assertEqual((status, vorbo_test.message_and_reason(err)),
                                 (1, ("Sound load error", "data/test.xm: Not a directory")))
                self.assertNotIn(SET_UP, out)
                proc = start(["-nosound"], work, sound_env(server))
                status, out, err = vorbo_test.finish(proc)
                message, reason = vorbo_test.message_and_reason(err)
                self.assertEqual((status, message), (1, "fopen(data/silence.tga)"))
                self.assertEqual(reason, "data/silence.tga: Not a directory; " + NO_DATA)
                self.assertEqual(vorbo_test.segments_left(proc.pid), set())
            finally:
                shutil.rmtree(work, ignore_errors=True)

    def test_no_data_directory(self):
        with tempfile.TemporaryDirectory() as work:
            status, out, err = vorbo_test.finish(start(["-nogfx", "-nosound"], work, sound_env()))
            self.assertEqual((status, vorbo_test.message_and_reason(err)),
                             (1, ("fopen(data/silence.tga)",
                                  "data/silence.tga: No such file or directory; " + NO_DATA)))
            status, out, err = vorbo_test.finish(start(["-nogfx"], work, sound_env()))
            self.assertEqual((status, vorbo_test.message_and_reason(err)),
                             (1, ("Sound load error", "data/test.xm: No such file or directory")))

    @unittest.skipUnless(IS_ROOT and shutil.which("setpriv"), "needs root to run the program as nobody")
    def test_unreadable_data_directory(self):
        # As root every directory is readable, so the program runs as nobody
        # on a data directory that only root may enter.
        nobody = ("setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups")
        if subprocess.run(list(nobody) + ["test", "-x", PROGRAM]).returncode != 0:
            self.skipTest("nobody cannot run %s" % PROGRAM)
        with Workdir() as work:
            os.chmod(work.path, 0o755)
            os.chmod(os.path.join(work.path, "data"), 0o700)
            status, out, err = vorbo_test.finish(start(["-nogfx"], work.path, sound_env(), prefix=nobody))
            self.assertEqual((status, vorbo_test.message_and_reason(err)), (1, ("Sound load error", "data/test.xm: Permission denied")))
            status, out, err = vorbo_test.finish(start(["-nogfx", "-nosound"], work.path, sound_env(), prefix=nobody))
            self.assertEqual((status, vorbo_test.message_and_reason(err)),
                             (1, ("fopen(data/silence.tga)", "data/silence.tga: Permission denied")))


if __name__ == "__main__":
    unittest.main()
