"""vorbo-desktop's show on the music's clock under a private PulseAudio server: the scene keys move the
music and the picture, the show ends by itself once the music has died away, q ends it like Escape,
and without sound it plays on its own clock."""
import os
import select
import shutil
import subprocess
import tempfile
import time
import unittest

import vorbo_test

PROGRAM = vorbo_test.program("vorbo-desktop")


class PulseServer:
    """A private PulseAudio server with one null sink, until the context ends."""

    def __enter__(self):
        self.tmp = tempfile.mkdtemp(prefix="vorbo-pulse-")
        os.chmod(self.tmp, 0o700)
        self.vars = {"XDG_RUNTIME_DIR": self.tmp, "HOME": self.tmp,
                     "PULSE_SERVER": "unix:" + os.path.join(self.tmp, "pulse", "native")}
        env = dict(os.environ, **self.vars)
        self.proc = subprocess.Popen(["pulseaudio", "--daemonize=no", "-n", "--exit-idle-time=-1",
                                      "--load=module-native-protocol-unix",
                                      "--load=module-null-sink sink_name=vorbo"],
                                     env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 30
        while subprocess.run(["pactl", "info"], env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL).returncode != 0:
            if time.time() > deadline or self.proc.poll() is not None:
                self.__exit__()
                raise RuntimeError("pulseaudio did not start")
            time.sleep(0.05)
        return self

    def __exit__(self, *exc):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait()
        shutil.rmtree(self.tmp, ignore_errors=True)


def wait_for_line(proc, text, timeout=30):
    """Reads the program's standard output (from the pipe itself, below Python's buffering) until it
    holds text; returns what was read."""
    seen = ""
    deadline = time.time() + timeout
    while text not in seen:
        left = deadline - time.time()
        if left <= 0 or not select.select([proc.stdout], [], [], left)[0]:
            raise AssertionError("no %r on standard output: %r" % (text, seen))
        chunk = os.read(proc.stdout.fileno(), 4096).decode()
        if not chunk:
            raise AssertionError("output ended before %r: %r %r" % (text, seen, proc.communicate()))
        seen += chunk
    return seen


@unittest.skipUnless(shutil.which("pulseaudio") and shutil.which("pactl"), "pulseaudio missing")
class ShowClock(unittest.TestCase):
    def start(self, server, args=(), **env):
        proc = subprocess.Popen([PROGRAM] + list(args), cwd=vorbo_test.BINARY_DIR, env=server.env(**env),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.addCleanup(lambda: proc.poll() is None and proc.kill())
        return proc

    def keys(self, server, *names):
        subprocess.run(["xdotool", "key", "--delay", "100"] + list(names), env=server.env(), check=True)

    def skip_to_the_last_scene_and_expect_the_end(self, server, proc):
        # Eight cuts on is the greetings, ten seconds before the end: the show
        # plays them and ends by itself, the last frame held while the music
        # dies away.
        started = wait_for_line(proc, "Set up, starting demo")
        self.keys(server, *["Right"] * 8)
        status, out, err = vorbo_test.finish(proc, timeout=90)
        return status, started + out, err

    def test_right_moves_music_and_picture_and_the_show_ends_after_the_music(self):
        with vorbo_test.Xvfb() as x, PulseServer() as pulse:
            proc = self.start(x, **pulse.vars)
            status, out, err = self.skip_to_the_last_scene_and_expect_the_end(x, proc)
        self.assertEqual((status, err), (0, ""))

    def test_q_ends_the_show_like_escape(self):
        with vorbo_test.Xvfb() as x, PulseServer() as pulse:
            proc = self.start(x, **pulse.vars)
            wait_for_line(proc, "Set up, starting demo")
            self.keys(x, "Right", "space", "q")
            status, _, err = vorbo_test.finish(proc, timeout=30)
        self.assertEqual((status, err), (1, "Premature exit from demo\n"))

    def test_without_a_sound_output_it_plays_silently_after_one_line(self):
        with vorbo_test.Xvfb() as x:
            proc = self.start(x, PULSE_SERVER="unix:/nonexistent/vorbo/socket", SDL_AUDIODRIVER="nonexistent")
            status, out, err = self.skip_to_the_last_scene_and_expect_the_end(x, proc)
        self.assertEqual(status, 0)
        self.assertEqual(err.count("\n"), 1, err)
        self.assertTrue(err.startswith("No sound output (no audio output: "), err)
        self.assertTrue(err.endswith("): playing without sound\n"), err)

    def test_nosound_says_so_and_plays_on_its_own_clock(self):
        with vorbo_test.Xvfb() as x:
            proc = self.start(x, ["-nosound"])
            status, out, err = self.skip_to_the_last_scene_and_expect_the_end(x, proc)
        self.assertEqual((status, err), (0, ""))
        self.assertIn("Playing without sound (-nosound)", out)


if __name__ == "__main__":
    unittest.main()
