"""The Debian package as a user meets it: built, installed, played from any directory, removed."""
import fcntl
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import vorbo_test

PACKAGE = "vorbo-returns"


def run(*command, **kw):
    return subprocess.run(list(command), capture_output=True, text=True, timeout=kw.pop("timeout", 300),
                          **kw)


def locked(path, lock, what, timeout=600):
    """Holds an exclusive lock on path, waiting for it at most timeout seconds: lock is
    fcntl.flock or fcntl.lockf (the kind the package managers take)."""
    fd = os.open(path, os.O_RDWR | os.O_CREAT, 0o640)
    deadline = time.time() + timeout
    while True:
        try:
            lock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return os.fdopen(fd, "r+")
        except OSError:
            if time.time() > deadline:
                os.close(fd)
                raise AssertionError("%s still held after %d s" % (what, timeout))
            time.sleep(0.2)


def dpkg(*args):
    """dpkg once the package managers' own lock is free (apt-get of another program may hold it),
    holding it the way apt does around its dpkg runs."""
    with locked("/var/lib/dpkg/lock-frontend", fcntl.lockf, "the package managers' lock"):
        return run("dpkg", *args, env=dict(os.environ, DPKG_FRONTEND_LOCKED="1"))


class Package(unittest.TestCase):
    def test_install_play_capture_and_remove(self):
        # The package is the machine's: one test installs it at a time, whichever checkout it runs from.
        with locked("/run/lock/%s-package-test.lock" % PACKAGE, fcntl.flock, "another package test"):
            self.install_play_capture_and_remove()

    def install_play_capture_and_remove(self):
        build = vorbo_test.BINARY_DIR
        for old in glob.glob(os.path.join(build, PACKAGE + "_*.deb")):
            os.remove(old)
        made = run("cpack", "-G", "DEB", cwd=build)
        self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
        (deb,) = glob.glob(os.path.join(build, PACKAGE + "_*_*.deb"))

        checked = run("lintian", "--tag-display-limit", "0", deb)
        problems = [line for line in checked.stdout.splitlines() if line[:2] in ("E:", "W:")]
        self.assertEqual(problems, [])

        installed = dpkg("-i", deb)
        self.assertEqual(installed.returncode, 0, installed.stdout + installed.stderr)
        files = run("dpkg-query", "-L", PACKAGE).stdout.split()
        try:
            with tempfile.TemporaryDirectory() as here:
                env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
                # The show is timed by the wall clock: ten times faster is the same show.
                show = run("faketime", "-f", "+0 x10", "vorbo-window", "-nogfx", "-nosound", cwd=here,
                           env=dict(env, PATH="/usr/games:" + env["PATH"]), timeout=120)
                self.assertEqual(show.returncode, 0, show.stderr)
                self.assertIn("Loading object data/cube.obj...  done (6 faces)", show.stdout)
                self.assertIn("Loading object data/f16.obj... ", show.stdout)
                self.assertEqual(os.listdir(here), [])

                capture = run("/usr/games/vorbo-capture", "-o", "short.mkv", "-fps", "1", "-codec",
                              "ffv1", cwd=here, env=env)
                self.assertEqual(capture.returncode, 0, capture.stderr)
                self.assertEqual(os.listdir(here), ["short.mkv"])
                self.assertGreater(os.path.getsize(os.path.join(here, "short.mkv")), 100000)

            self.assertEqual(run("man", "-w", "vorbo-desktop").returncode, 0)
        finally:
            removed = dpkg("-r", PACKAGE)
        self.assertEqual(removed.returncode, 0, removed.stdout + removed.stderr)
        left = [path for path in files if os.path.lexists(path) and not os.path.isdir(path)]
        left += [d for d in ("/usr/lib/games/vorbo-returns", "/usr/share/games/vorbo-returns",
                             "/usr/share/doc/vorbo-returns") if os.path.exists(d)]
        self.assertEqual(left, [])


if __name__ == "__main__":
    if os.geteuid() != 0 or not shutil.which("dpkg") or not shutil.which("lintian"):
        print("skipped: installing a package needs root, dpkg and lintian")
        sys.exit(77)
    unittest.main()
