"""The Debian packages as a maintainer and a user meet them: built with dpkg-buildpackage, checked by
lintian, hardening-check and appstreamcli, installed with apt, played and recorded by an ordinary
user in their home directory, and purged without leftovers."""
import fcntl
import glob
import os
import pwd
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import vorbo_test

SOURCE_DIR = os.environ.get("VORBO_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
OUT = os.path.join(vorbo_test.BINARY_DIR, "packages")
PACKAGES = ("vorbo-returns", "vorbo-returns-data", "vorbo-returns-capture")
LAUNCHERS = ("vorbo-window", "vorbo-window-legacy", "vorbo-fullscreen", "vorbo-fullscreen-legacy",
             "vorbo-desktop")
CODECS = re.compile(r"\blib(avcodec|avformat|avutil|swscale|swresample)")


def run(*command, **kw):
    return subprocess.run(list(command), capture_output=True, text=True, timeout=kw.pop("timeout", 300),
                          **kw)


def field(deb, name):
    return run("dpkg-deb", "-f", deb, name).stdout.strip()


def locked(path, timeout=600):
    """An exclusive lock on path, waited for at most timeout seconds."""
    fd = os.open(path, os.O_RDWR | os.O_CREAT, 0o640)

    def take():
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return True
        except OSError:
            return False

    if not vorbo_test.wait_until(take, timeout):
        os.close(fd)
        raise AssertionError("%s still locked after %d s" % (path, timeout))
    return os.fdopen(fd, "r+")


def is_installed(package):
    status = run("dpkg-query", "-W", "-f", "${Status}", package).stdout
    return status.endswith(" installed") or "config-files" in status


class Packages(unittest.TestCase):
    """Built once (and left in build/packages, where CI's reproducibility check finds them)."""

    @classmethod
    def setUpClass(cls):
        shutil.rmtree(OUT, ignore_errors=True)
        built = run("bash", os.path.join(SOURCE_DIR, "scripts", "build-packages.sh"), OUT, timeout=1500)
        if built.returncode != 0:
            raise AssertionError("dpkg-buildpackage failed:\n" + (built.stdout + built.stderr)[-6000:])
        cls.debs = {field(deb, "Package"): deb for deb in glob.glob(os.path.join(OUT, "*.deb"))}
        cls.tree = tempfile.mkdtemp()
        for package in PACKAGES:
            run("dpkg-deb", "-x", cls.debs[package], cls.tree)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tree)

    def test_the_packages_and_what_they_depend_on(self):
        # The programs, their media for every architecture, the capture tool, and debug symbols.
        self.assertEqual(sorted(self.debs), sorted(PACKAGES + ("vorbo-returns-dbgsym",
                                                               "vorbo-returns-capture-dbgsym")))
        data = self.debs["vorbo-returns-data"]
        self.assertEqual((field(data, "Architecture"), field(data, "Multi-Arch")), ("all", "foreign"))
        version = field(self.debs["vorbo-returns"], "Version")
        for package in ("vorbo-returns", "vorbo-returns-capture"):
            self.assertIn("vorbo-returns-data (= %s)" % version, field(self.debs[package], "Depends"))
        # Only the capture tool brings in FFmpeg's codec libraries.
        for package in ("vorbo-returns", "vorbo-returns-data"):
            self.assertIsNone(CODECS.search(field(self.debs[package], "Depends")), package)
        self.assertIsNotNone(CODECS.search(field(self.debs["vorbo-returns-capture"], "Depends")))

    def test_lintian_says_nothing(self):
        (changes,) = glob.glob(os.path.join(OUT, "*.changes"))
        checked = run("lintian", "--pedantic", "--info", "--tag-display-limit", "0", changes)
        tags = [line for line in checked.stdout.splitlines() if re.match(r"[EWIPXC]: ", line)]
        self.assertEqual(tags, [], checked.stderr)

    def test_every_program_is_hardened(self):
        programs = []
        for root, _, names in os.walk(self.tree):
            for name in names:
                path = os.path.join(root, name)
                with open(path, "rb") as f:
                    if not os.path.islink(path) and f.read(4) == b"\x7fELF":
                        programs.append(path)
        self.assertEqual(sorted(os.path.basename(p) for p in programs),
                         sorted(LAUNCHERS + ("vorbo-capture",)))
        # PIE, stack protector, fortify, read-only relocations and immediate binding. Debian 12's
        # C start files carry no CET marking, so no program linked there has control-flow
        # protection, whatever its own objects were compiled with.
        checked = run("hardening-check", "--nocfprotection", *programs)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)

    def test_software_centres_list_the_show(self):
        (metainfo,) = glob.glob(os.path.join(self.tree, "usr/share/metainfo/*.metainfo.xml"))
        checked = run("appstreamcli", "validate", "--pedantic", "--no-net", metainfo)
        self.assertEqual(checked.returncode, 0, checked.stdout)
        # The one remark left: the placeholder domain's top level, .example, is no real one.
        issues = re.findall(r"^([EWIP]): \S+ (\S+)", checked.stdout, re.M)
        self.assertEqual(issues, [("I", "cid-maybe-not-rdns")], checked.stdout)

        with open(metainfo) as f:
            text = f.read()
        component = re.search(r"<id>(.*)</id>", text).group(1)
        launchables = re.findall(r'<launchable type="desktop-id">(.*)</launchable>', text)
        self.assertEqual(launchables[0], component + ".desktop")
        entries = os.listdir(os.path.join(self.tree, "usr/share/applications"))
        self.assertEqual(sorted(launchables), sorted(entries))
        for entry in entries:
            checked = run("desktop-file-validate", os.path.join(self.tree, "usr/share/applications", entry))
            self.assertEqual(checked.stdout + checked.stderr, "", entry)
        # The newest release listed is the packaged version.
        upstream = field(self.debs["vorbo-returns"], "Version").rsplit("-", 1)[0]
        self.assertEqual(re.search(r'<release version="([^"]+)"', text).group(1), upstream)

    def test_install_play_capture_and_purge(self):
        # The packages are the machine's: one test installs them at a time, whichever checkout it
        # runs from.
        with locked("/run/lock/vorbo-returns-package-test.lock"):
            self.install_play_capture_and_purge()

    def install_play_capture_and_purge(self):
        if any(is_installed(p) for p in PACKAGES):
            self.skipTest("the packages are installed on this machine already; this test installs "
                          "and purges its own")
        env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        # Another program's apt-get may hold the package managers' lock: wait for it as apt can.
        apt = ("apt-get", "-o", "DPkg::Lock::Timeout=600")
        debs = [self.debs[p] for p in PACKAGES]
        installed = run(*apt, "install", "-y", "--no-install-recommends", *debs, env=env)
        self.assertEqual(installed.returncode, 0, installed.stdout + installed.stderr)
        files = []
        for package in PACKAGES:
            files += run("dpkg-query", "-L", package).stdout.split()
        user = "vorbo%d" % os.getpid()
        try:
            self.assertEqual(run("useradd", "--create-home", user).returncode, 0)
            self.play_and_record_as(user)
            self.assertEqual(run("man", "-w", "vorbo-desktop").returncode, 0)
            self.assertEqual(run("man", "-w", "vorbo-capture").returncode, 0)
        finally:
            run("userdel", "--remove", user)
            purged = run(*apt, "purge", "-y", *PACKAGES, env=env)
        self.assertEqual(purged.returncode, 0, purged.stdout + purged.stderr)
        self.assertEqual([p for p in PACKAGES if is_installed(p)], [])
        left = [path for path in files if os.path.lexists(path) and not os.path.isdir(path)]
        left += [d for d in ("/usr/lib/games/vorbo-returns", "/usr/share/games/vorbo-returns")
                 + tuple("/usr/share/doc/" + p for p in PACKAGES) if os.path.exists(d)]
        self.assertEqual(left, [])

    def play_and_record_as(self, user):
        home = pwd.getpwnam(user).pw_dir
        env = ["env", "-i", "HOME=" + home, "USER=" + user, "LANG=C.UTF-8",
               "PATH=/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games"]

        def as_user(*command, **kw):
            return run("runuser", "-u", user, "--", *env, *command, cwd=home, **kw)

        before = sorted(os.listdir(home))
        # The show is timed by the wall clock: ten times faster is the same show.
        show = as_user("faketime", "-f", "+0 x10", "vorbo-window", "-nogfx", "-nosound", timeout=120)
        self.assertEqual(show.returncode, 0, show.stderr)
        self.assertIn("Loading object data/cube.obj...  done (6 faces)", show.stdout)
        self.assertIn("Loading object data/f16.obj... ", show.stdout)
        self.assertEqual(sorted(os.listdir(home)), before)

        # Started by a user, the full-screen program names the command that sudo finds.
        full = as_user("vorbo-fullscreen", "-nosound", timeout=30)
        self.assertEqual(full.returncode, 1)
        self.assertIn("vorbo-fullscreen must be started as root (sudo /usr/games/vorbo-fullscreen)",
                      full.stderr)

        capture = as_user("vorbo-capture", "-o", "short.mkv", "-fps", "1", "-codec", "ffv1")
        self.assertEqual(capture.returncode, 0, capture.stderr)
        self.assertEqual(sorted(os.listdir(home)), sorted(before + ["short.mkv"]))
        video = os.path.join(home, "short.mkv")
        self.assertEqual(pwd.getpwuid(os.stat(video).st_uid).pw_name, user)
        probe = run("ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", video)
        self.assertAlmostEqual(float(probe.stdout), 59, delta=1)


if __name__ == "__main__":
    if os.geteuid() != 0 or not shutil.which("dpkg"):
        print("skipped: building, installing and purging packages needs root and dpkg")
        sys.exit(77)
    unittest.main()
