"""The program's switches, its start-up failures and one whole show without graphics or sound."""
import os
import subprocess
import tempfile
import time
import unittest

import vorbo_test

BANNER_PREFIX = "Vorbo returns, by "


def run(args, cwd=None, env=None, timeout=30):
    """The program's run in cwd, or in an empty directory of its own (no data, nothing another
    program left in the shared temporary directory)."""
    if env is None:
        env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    with tempfile.TemporaryDirectory() as empty:
        return subprocess.run([vorbo_test.program("vorbo-window")] + args, cwd=cwd or empty,
                              env=env, capture_output=True, text=True, timeout=timeout)


class Switches(unittest.TestCase):
    def test_rejected_arguments_name_the_argument_after_the_banner(self):
        for args, bad in [(["-nosoundx"], "-nosoundx"), (["-NOGFX"], "-NOGFX"), (["nogfx"], "nogfx"),
                          ([""], ""), (["-nogfx", "-bad", "-nosound"], "-bad"), (["-nogf"], "-nogf")]:
            with self.subTest(args=args):
                # No display and no data: nothing may be started before the refusal.
                result = run(args)
                self.assertEqual(result.returncode, 1)
                self.assertTrue(result.stdout.startswith(BANNER_PREFIX), result.stdout)
                self.assertEqual(result.stderr, "Unknown switch %s\n" % bad)

    def test_without_display_the_window_cannot_open(self):
        result = run(["-nosound"])
        self.assertEqual(result.returncode, 1)
        message, reason = vorbo_test.message_and_reason(result.stderr)
        self.assertEqual(message, "Unable to open display")
        self.assertTrue(reason.startswith("DISPLAY is not set"), reason)
        self.assertNotIn("Set up, starting demo", result.stdout)

    def test_whole_show_without_graphics_and_sound(self):
        # Repeated switches in either order are accepted; no display is needed.
        start = time.time()
        result = run(["-nosound", "-nogfx", "-nosound", "-nogfx"], cwd=vorbo_test.BINARY_DIR, timeout=120)
        elapsed = time.time() - start
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.splitlines()
        self.assertTrue(lines[0].startswith(BANNER_PREFIX))
        self.assertIn("Set up, starting demo", lines)
        self.assertNotIn("Sound", result.stderr)
        # The show ends at the first frame of second 59: at least 58 whole seconds.
        self.assertGreaterEqual(elapsed, 58)
        self.assertLess(elapsed, 62)


if __name__ == "__main__":
    unittest.main()
