"""The program's sound start-up: init and load failures, "-nosound", and the music reaching the output."""
import array
import math
import os
import random
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

import vorbo_test

PROGRAM = vorbo_test.program("vorbo-window")
BANNER = "Vorbo returns, by "


class DisplayWatch:
    """A stand-in X display on a local TCP port that counts the clients trying to
    connect and turns each away, so the program's XOpenDisplay fails at once."""

    def __enter__(self):
        self.connections = 0
        self.lock = threading.Lock()
        self._stop = False
        for n in range(50, 200):
            s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            try:
                s.bind(("127.0.0.1", 6000 + n))
            except OSError:
                s.close()
                continue
            s.listen(8)
            s.settimeout(0.05)
            self.sock, self.display = s, "127.0.0.1:%d" % n
            self.thread = threading.Thread(target=self._serve, daemon=True)
            self.thread.start()
            return self
        raise RuntimeError("no free port for a stand-in display")

    def _serve(self):
        while not self._stop:
            try:
                conn, _ = self.sock.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            with self.lock:
                self.connections += 1
            conn.close()

    def settled(self):
        """The number of clients that have connected so far. A connection of its own joins the
        listen queue behind every earlier one: once the stand-in has taken and closed it, it
        has counted them all."""
        with socket.create_connection(self.sock.getsockname(), timeout=20) as marker:
            marker.recv(1)
        with self.lock:
            self.connections -= 1
            return self.connections

    def __exit__(self, *exc):
        self._stop = True
        self.thread.join()
        self.sock.close()


def environment(display, **extra):
    env = dict(os.environ)
    env["DISPLAY"] = display
    env.update(extra)
    return env


def run(args, cwd, env):
    return subprocess.run([PROGRAM] + args, cwd=cwd, env=env, capture_output=True, text=True, timeout=60)


failures = []


def check(condition, what, result=None):
    if not condition:
        detail = ""
        if result is not None:
            detail = " (status %s, stdout %r, stderr %r)" % (result.returncode, result.stdout, result.stderr)
        failures.append(what + detail)
        print("FAIL:", what + detail)


def expect_sound_failure(name, message, cwd, env, watch):
    before = watch.settled()
    r = run([], cwd, env)
    check(r.returncode == 1, name + ": exit status 1", r)
    check(r.stdout.startswith(BANNER), name + ": banner printed", r)
    said, reason = vorbo_test.message_and_reason(r.stderr)
    check(said + "\n" == message and reason and r.stderr.count("\n") == 2,
          name + ": only %r and its reason on standard error" % message, r)
    check("Set up" not in r.stdout, name + ": stops before the graphics", r)
    check(watch.settled() == before, name + ": no display connection")


def test_init_failure(watch):
    with tempfile.TemporaryDirectory() as tmp:
        vorbo_test.data_dir_copy(tmp)
        env = environment(watch.display, SDL_AUDIODRIVER="nonexistent")
        expect_sound_failure("unusable audio driver", "Sound init error\n", tmp, env, watch)


def test_load_failures(watch):
    env = environment(watch.display, SDL_AUDIODRIVER="dummy")
    rng = random.Random(3)
    cases = [
        ("missing data/test.xm", None),
        ("empty data/test.xm", b""),
        ("random bytes as data/test.xm", bytes(rng.randrange(256) for _ in range(5000))),
    ]
    for name, content in cases:
        with tempfile.TemporaryDirectory() as tmp:
            vorbo_test.data_dir_copy(tmp, drop=("test.xm",))
            if content is not None:
                with open(os.path.join(tmp, "data", "test.xm"), "wb") as f:
                    f.write(content)
            expect_sound_failure(name, "Sound load error\n", tmp, env, watch)


def test_nosound_never_looks_for_the_module(watch):
    # No module and no usable audio driver: with "-nosound" neither matters;
    # the program goes on to the display, which the stand-in refuses.
    with tempfile.TemporaryDirectory() as tmp:
        vorbo_test.data_dir_copy(tmp, drop=("test.xm",))
        env = environment(watch.display, SDL_AUDIODRIVER="nonexistent")
        before = watch.settled()
        r = run(["-nosound"], tmp, env)
        check(r.returncode == 1, "-nosound: exit status 1 from the refused display", r)
        check("Sound" not in r.stderr, "-nosound: no sound message", r)
        check("Unable to open display" in r.stderr, "-nosound: reaches the display", r)
        check(watch.settled() > before, "-nosound: the display was tried")


def test_music_reaches_the_output(watch):
    # The whole show is a minute long: play three seconds of it without
    # graphics into SDL's disk driver, then stop it the way a user would.
    with tempfile.TemporaryDirectory() as tmp:
        vorbo_test.data_dir_copy(tmp)
        out = os.path.join(tmp, "out.raw")
        env = environment(watch.display, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=out)
        p = subprocess.Popen([PROGRAM, "-nogfx"], cwd=tmp, env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
        # The disk driver writes as fast as a sound card plays: wait for three seconds of it.
        vorbo_test.wait_until(lambda: p.poll() is not None or (
            os.path.exists(out) and os.path.getsize(out) >= 3 * 44100 * 4), 60)
        running = p.poll() is None
        if running:
            p.send_signal(signal.SIGTERM)
        stdout, stderr = p.communicate(timeout=30)
        check(running, "music: the show runs with -nogfx (status %s, stderr %r)" % (p.returncode, stderr))
        check(p.returncode == -signal.SIGTERM, "music: SIGTERM still ends the program (status %s)" % p.returncode)
        pcm = array.array("h")
        with open(out, "rb") as f:
            data = f.read()
        pcm.frombytes(data[: len(data) // 2 * 2])
        check(len(pcm) >= 2 * 44100 * 2, "music: at least two seconds written (%d values)" % len(pcm))
        last = pcm[-2 * 44100:]
        level = math.sqrt(sum(v * v for v in last) / max(1, len(last)))
        check(level > 300, "music: the last second written is not silent (rms %.1f)" % level)


def main():
    if not os.path.exists(PROGRAM):
        print("skipped: %s is not built" % PROGRAM)
        return 77
    with DisplayWatch() as watch:
        test_init_failure(watch)
        test_load_failures(watch)
        test_nosound_never_looks_for_the_module(watch)
        test_music_reaches_the_output(watch)
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
