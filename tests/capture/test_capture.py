"""vorbo-capture end to end: streams, frames against the timeline, repeatability and refusals."""
import array
import json
import math
import operator
import os
import re
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unittest

import vorbo_test

CAPTURE = vorbo_test.program("vorbo-capture")
STILL = os.environ.get("CAPTURE_STILL", os.path.join(vorbo_test.BINARY_DIR, "tests", "capture", "capture_still"))
SECONDS = 59
RATE = 44100
FRAME_BYTES = 640 * 480 * 4


def tiny_xm(rows=64):
    """A two-channel XM of one looping pattern: a square-wave note struck every 16 rows."""
    header = b"Extended Module: " + b"capture test".ljust(20, b"\0") + b"\x1a" + b"test".ljust(20, b"\0")
    # version, header size, song length, restart, channels, patterns, instruments, flags, speed, bpm
    header += struct.pack("<HIHHHHHHHH", 0x0104, 276, 1, 0, 2, 1, 1, 1, 6, 125) + bytes(256)
    cells = bytearray()
    for row in range(rows):
        cells += bytes([49 + row // 4, 1, 0x40, 0, 0]) if row % 16 == 0 else b"\x80"
        cells += b"\x80"
    pattern = struct.pack("<IBHH", 9, 0, rows, len(cells)) + bytes(cells)
    wave = [40 if i % 100 < 50 else -40 for i in range(100)]
    deltas = bytes((b - a) & 0xFF for a, b in zip([0] + wave, wave))
    instrument = struct.pack("<I", 263) + b"square".ljust(22, b"\0") + b"\0" + struct.pack("<HI", 1, 40)
    instrument += bytes(96 + 48 + 48 + 10 + 4) + struct.pack("<H", 0) + bytes(22)
    sample = struct.pack("<IIIBbBBbB", len(wave), 0, len(wave), 64, 0, 1, 128, 0, 0) + b"sq".ljust(22, b"\0")
    return header + pattern + instrument + sample + deltas


def make_workdir(parent, module=True, leave_out=()):
    """A working directory whose data/ holds the built media (and a module if none was built)."""
    work = tempfile.mkdtemp(dir=parent)
    data = os.path.join(work, "data")
    os.mkdir(data)
    built = os.path.join(vorbo_test.BINARY_DIR, "data")
    for name in sorted(os.listdir(built)) if os.path.isdir(built) else []:
        if name not in leave_out:
            os.symlink(os.path.join(built, name), os.path.join(data, name))
    xm = os.path.join(data, "test.xm")
    if module and not os.path.exists(xm) and "test.xm" not in leave_out:
        with open(xm, "wb") as f:
            f.write(tiny_xm())
    elif not module and os.path.lexists(xm):
        os.remove(xm)
    return work


def capture(work, *args, timeout=120):
    return subprocess.run([CAPTURE] + list(args), cwd=work, capture_output=True, text=True, timeout=timeout)


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-count_packets", "-show_streams", "-show_format", "-of", "json",
                          path], check=True, capture_output=True, text=True).stdout
    return json.loads(out)


def decoded_samples(path):
    """The sound decoded to 16-bit stereo at 44.1 kHz, as one array of interleaved samples."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-f", "s16le", "-ac", "2", "-ar",
                          str(RATE), "pipe:"], check=True, capture_output=True).stdout
    return array.array("h", raw)


# The seconds at which the show cuts from one scene to the next.
CUTS = [6, 9, 14, 21, 28, 34, 44, 49]


def loudness(path):
    """Integrated loudness (LUFS) and true peak (dBFS) of a file's sound, by FFmpeg's EBU R128 meter."""
    err = subprocess.run(["ffmpeg", "-hide_banner", "-nostats", "-i", path, "-map", "0:a", "-filter:a",
                          "ebur128=peak=true", "-f", "null", "-"], check=True, capture_output=True, text=True).stderr
    summary = err[err.rindex("Summary:"):]
    return (float(re.search(r"I:\s+(-?[\d.]+) LUFS", summary).group(1)),
            float(re.search(r"Peak:\s+(-?[\d.inf]+) dBFS", summary).group(1)))


def onsets(path, rate=8000, fps=40):
    """Onset strength of a file's sound, fps values a second: the rise in level over the two frames
    before, in dB, summed over five bands (below 150 Hz, to 400 Hz, 1 kHz, 2.5 kHz, and above)."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-f", "s16le", "-ac", "1", "-ar",
                          str(rate), "pipe:"], check=True, capture_output=True).stdout
    hop = rate // fps
    gains = [1 - math.exp(-2 * math.pi * f / rate) for f in (150, 400, 1000, 2500)]
    low = [0.0] * len(gains)
    energy = [0.0] * (len(gains) + 1)
    levels = []
    for i, x in enumerate(array.array("h", raw)):
        below = 0.0
        for b, g in enumerate(gains):
            low[b] += g * (x - low[b])
            energy[b] += (low[b] - below) ** 2
            below = low[b]
        energy[-1] += (x - below) ** 2
        if (i + 1) % hop == 0:
            levels.append([10 * math.log10(e / hop + 1) for e in energy])
            energy = [0.0] * len(energy)
    return [0.0, 0.0] + [sum(max(0.0, now[b] - max(a[b], c[b])) for b in range(len(now)))
                         for a, c, now in zip(levels, levels[1:], levels[2:])]


def decoded_frame(path, index, fps):
    """Frame number index (from 0) of the video as three byte planes: blue, green, red.

    Seeks to a quarter frame before the frame's time, so the first frame decoded
    from there is frame index however the container rounds its timestamps."""
    start = "%.6f" % (max(index - 0.25, 0) / fps)
    raw = subprocess.run(["ffmpeg", "-v", "error", "-ss", start, "-i", path, "-frames:v", "1", "-f", "rawvideo",
                          "-pix_fmt", "bgr24", "pipe:"], check=True, capture_output=True).stdout
    return raw[0::3], raw[1::3], raw[2::3]


def timeline_frame(work, packed):
    """What the timeline draws for one packed demo time, as blue, green and red planes.

    The top byte of a pixel carries no colour and is left out."""
    path = os.path.join(work, "still.raw")
    subprocess.run([STILL, str(packed), path], cwd=work, check=True, capture_output=True)
    with open(path, "rb") as f:
        raw = f.read()
    os.remove(path)
    return raw[0::4], raw[1::4], raw[2::4]


def mean_difference(a, b):
    return sum(sum(map(abs, map(operator.sub, x, y))) for x, y in zip(a, b)) / (3 * len(a[0]))


def packed(second, micros):
    """The four programs' demo clock (-clock stepped): microseconds within the second."""
    return (second << 20) | micros


def even(seconds):
    """The capture's own clock, vorbo-desktop's: 2^20ths of a second, with no step."""
    return int(seconds * (1 << 20))


class Captures(unittest.TestCase):
    """One H.264 capture at 2 fps and two lossless captures at 4 fps (on the capture's own clock and
    on the four programs' stepped one), shared by the checks."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="vorbo-capture-")
        cls.work = make_workdir(cls.tmp)
        cls.mp4 = capture(cls.work, "-fps", "2", "-o", "show.mp4")
        cls.mkv = capture(cls.work, "-fps", "4", "-codec", "ffv1", "-o", "show.mkv")
        cls.stepped = capture(cls.work, "-fps", "4", "-codec", "ffv1", "-clock", "stepped", "-o", "stepped.mkv")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp)

    def test_runs_succeed_with_a_progress_bar_and_leave_only_the_file(self):
        for result, total in [(self.mp4, 118), (self.mkv, 236), (self.stepped, 236)]:
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("Capturing [", result.stderr)
            self.assertIn("%d/%d frames, done in" % (total, total), result.stderr)
        self.assertEqual(sorted(os.listdir(self.work)), ["data", "show.mkv", "show.mp4", "stepped.mkv"])

    def check_streams(self, path, fps, video_codec, audio_codec):
        info = probe(path)
        video = [s for s in info["streams"] if s["codec_type"] == "video"]
        audio = [s for s in info["streams"] if s["codec_type"] == "audio"]
        self.assertEqual((len(video), len(audio), len(info["streams"])), (1, 1, 2))
        video, audio = video[0], audio[0]
        self.assertEqual(video["codec_name"], video_codec)
        self.assertEqual((video["width"], video["height"]), (640, 480))
        self.assertEqual(int(video["nb_read_packets"]), SECONDS * fps)
        self.assertEqual(video["r_frame_rate"], "%d/1" % fps)
        self.assertEqual(audio["codec_name"], audio_codec)
        self.assertEqual((int(audio["sample_rate"]), audio["channels"]), (RATE, 2))
        self.assertAlmostEqual(float(info["format"]["duration"]), SECONDS, delta=1.0 / fps)
        if "duration" in audio:
            self.assertAlmostEqual(float(audio["duration"]), SECONDS, delta=1.0 / fps)
        # Decoded sound lasts the show's 59 s, within one frame (an encoder's
        # padding of its last block is allowed), and is not silence.
        samples = decoded_samples(path)
        self.assertAlmostEqual(len(samples) / 2 / RATE, SECONDS, delta=1.0 / fps)
        self.assertGreater(max(abs(min(samples)), max(samples)), 100)
        return video

    def test_h264_mp4_plays_in_ordinary_players(self):
        video = self.check_streams(os.path.join(self.work, "show.mp4"), 2, "h264", "aac")
        self.assertEqual(video["pix_fmt"], "yuv420p")

    def test_lossless_mkv_streams(self):
        self.check_streams(os.path.join(self.work, "show.mkv"), 4, "ffv1", "flac")
        # FLAC keeps every sample: exactly 59 s.
        self.assertEqual(len(decoded_samples(os.path.join(self.work, "show.mkv"))), 2 * SECONDS * RATE)

    def test_soundtrack_is_loud_unclipped_unbroken_and_turns_at_the_cuts(self):
        path = os.path.join(self.work, "show.mkv")
        with open(os.path.join(self.work, "data", "test.xm"), "rb") as f:
            if f.read(37)[17:] != b"Vorbo returns".ljust(20, b"\0"):
                self.skipTest("the show's module is not built")
        integrated, true_peak = loudness(path)
        self.assertAlmostEqual(integrated, -14.0, delta=1.0)
        self.assertLess(true_peak, -1.0)
        samples = decoded_samples(path)
        self.assertLess(max(max(samples), -min(samples)), 32767, "clipped")
        # No quarter second of the show is silent.
        quarter = RATE // 4
        for k in range(0, len(samples) // 2 - quarter + 1, quarter):
            part = samples[2 * k:2 * (k + quarter)]
            rms = math.sqrt(sum(x * x for x in part) / len(part)) / 32768
            self.assertGreater(20 * math.log10(rms + 1e-12), -40.0, "quiet at %.2f s" % (k / RATE))
        # Each cut is the strongest onset of the second around it, within 0.1 s.
        strength = onsets(path)
        for cut in CUTS:
            around = range((cut * 40) - 20, (cut * 40) + 21)
            strongest = max(around, key=lambda i: strength[i])
            self.assertAlmostEqual(strongest / 40, cut, delta=0.1, msg="the music turns at %.3f s, not %d s" %
                                   (strongest / 40, cut))

    def check_frames(self, path, frames):
        for index, time_packed in frames:
            with self.subTest(file=os.path.basename(path), frame=index):
                got = decoded_frame(path, index, 4)
                want = timeline_frame(self.work, time_packed)
                self.assertEqual(len(got[0]), 640 * 480)
                self.assertTrue(got == want, "frame %d differs, by %.3f on average" %
                                (index, mean_difference(got, want)))

    def test_lossless_frames_are_the_timeline_frames(self):
        # At 4 fps frame k shows k / 4 s: the first frame, the start of second
        # 7 and its middle, the cube, the jet, and the last frame (second 58,
        # three quarters in), on the even clock by default and on the four
        # programs' stepped clock with -clock stepped (their frames exactly).
        self.check_frames(os.path.join(self.work, "show.mkv"),
                          [(0, 0), (28, even(7)), (30, even(7.5)), (42, even(10.5)), (170, even(42.5)),
                           (235, even(58.75))])
        self.check_frames(os.path.join(self.work, "stepped.mkv"),
                          [(0, 0), (28, packed(7, 0)), (30, packed(7, 500000)), (42, packed(10, 500000)),
                           (170, packed(42, 500000)), (235, packed(58, 750000))])
        # The moving cube makes frames half a second apart differ, so the
        # comparison would catch a frame taken at the wrong time; and the two
        # clocks put it in different places.
        self.assertTrue(timeline_frame(self.work, packed(10, 0)) != timeline_frame(self.work, packed(10, 500000)))
        self.assertTrue(timeline_frame(self.work, even(10.5)) != timeline_frame(self.work, packed(10, 500000)))

    def test_h264_frames_match_within_codec_tolerance(self):
        path = os.path.join(self.work, "show.mp4")
        for index, time_packed, moving in [(14, even(7), False), (21, even(10.5), True),
                                           (85, even(42.5), True), (117, even(58.5), False)]:
            with self.subTest(frame=index):
                got = decoded_frame(path, index, 2)
                error = mean_difference(got, timeline_frame(self.work, time_packed))
                self.assertLess(error, 3.0)
                if moving:
                    # Closer to its own instant than to a quarter second later.
                    self.assertLess(error, mean_difference(got, timeline_frame(self.work, time_packed + even(0.25))))

    def test_two_runs_give_identical_files(self):
        again_mp4 = capture(self.work, "-fps", "2", "-o", "again.mp4")
        again_mkv = capture(self.work, "-fps", "4", "-codec", "ffv1", "-o", "again.mkv")
        try:
            self.assertEqual(again_mp4.returncode, 0, again_mp4.stderr)
            self.assertEqual(again_mkv.returncode, 0, again_mkv.stderr)
            for first, second in [("show.mp4", "again.mp4"), ("show.mkv", "again.mkv")]:
                with open(os.path.join(self.work, first), "rb") as a, open(os.path.join(self.work, second), "rb") as b:
                    self.assertTrue(a.read() == b.read(), "%s and %s differ" % (first, second))
        finally:
            for name in ("again.mp4", "again.mkv"):
                if os.path.exists(os.path.join(self.work, name)):
                    os.remove(os.path.join(self.work, name))


class Refusals(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="vorbo-capture-")

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def assert_refused(self, work, args, text, before=None):
        """One line on stderr containing text, non-zero status, and the directory as it was."""
        listing = sorted(os.listdir(work)) if before is None else before
        result = capture(work, *args)
        self.assertNotEqual(result.returncode, 0, args)
        self.assertEqual(result.stderr.count("\n"), 1, result.stderr)
        self.assertIn(text, result.stderr)
        self.assertEqual(sorted(os.listdir(work)), listing, args)
        return result

    def test_bad_options_and_numbers(self):
        work = make_workdir(self.tmp)
        # The full table of refusals is in the unit test; here the program's status and output.
        for args, text in [(["-x"], "unknown option '-x'"), (["-fps", "30fps"], "bad number '30fps'"),
                           (["-codec", "vp9"], "unknown codec 'vp9'"), (["-clock", "wall"], "unknown clock 'wall'"),
                           (["-o", "x.mp4", "extra"], "'extra'")]:
            with self.subTest(args=args):
                self.assert_refused(work, args, text)

    def test_unwritable_outputs(self):
        work = make_workdir(self.tmp)
        with open(os.path.join(work, "plain"), "w") as f:
            f.write("a file, not a directory\n")
        os.mkdir(os.path.join(work, "taken.mp4"))
        for args, text in [(["-o", "missing/dir/x.mp4"], "cannot write missing/dir/x.mp4"),
                           (["-o", "plain/x.mp4"], "cannot write plain/x.mp4"),
                           (["-o", "taken.mp4"], "cannot write taken.mp4: Is a directory"),
                           (["-o", "x.mp4", "-codec", "ffv1"], "cannot hold ffv1 video"),
                           (["-o", "frames.png"], "cannot hold a video with sound"),
                           # Refused only when the header is written: the file
                           # just created goes again, and FFmpeg's own log stays quiet.
                           (["-o", "sound.flac"], "cannot write the container's header")]:
            with self.subTest(args=args):
                self.assert_refused(work, ["-fps", "1"] + args, text)

    def test_missing_or_bad_module_leaves_an_old_file_alone(self):
        work = make_workdir(self.tmp, module=False)
        old = os.path.join(work, "show.mp4")
        with open(old, "wb") as f:
            f.write(b"an earlier capture")
        self.assert_refused(work, ["-fps", "1", "-o", "show.mp4"], "cannot open data/test.xm")
        with open(os.path.join(work, "data", "test.xm"), "wb") as f:
            f.write(b"this is no tracker module" * 20)
        self.assert_refused(work, ["-fps", "1", "-o", "show.mp4"], "data/test.xm is not a module")
        with open(old, "rb") as f:
            self.assertEqual(f.read(), b"an earlier capture")

    def test_missing_picture_ends_before_any_output(self):
        built = os.path.join(vorbo_test.BINARY_DIR, "data")
        pictures = [n for n in os.listdir(built) if n.endswith(".tga")] if os.path.isdir(built) else []
        if "silence.tga" not in pictures:
            self.skipTest("the pictures are not built")
        work = make_workdir(self.tmp, leave_out=("silence.tga",))
        result = capture(work, "-fps", "1", "-o", "show.mp4")
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("silence.tga", result.stderr)
        self.assertEqual(sorted(os.listdir(work)), ["data"])

    def test_interrupted_capture_leaves_nothing(self):
        work = make_workdir(self.tmp)
        proc = subprocess.Popen([CAPTURE, "-o", "show.mp4"], cwd=work, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        try:
            deadline = time.time() + 30
            while time.time() < deadline and not any(n.endswith(".part") for n in os.listdir(work)):
                time.sleep(0.02)
            self.assertTrue(any(n.endswith(".part") for n in os.listdir(work)), "no file was being written")
            proc.send_signal(signal.SIGINT)
            self.assertEqual(proc.wait(30), -signal.SIGINT)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        self.assertEqual(sorted(os.listdir(work)), ["data"])


if __name__ == "__main__":
    unittest.main()
