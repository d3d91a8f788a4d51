// The music's clock: which module position a stream sample holds, with a stand-in output that pulls
// samples and hears them late, through pause, seek, a late-waking sink and the fades.
#include "sound/player.h"
#include "tests/sound/sound_test_support.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using namespace sound_test;

constexpr int rate = 44100;

// An output that pulls the player's samples in 20 ms blocks, as a sound
// server asks for them, and keeps what it got.
class stand_in_output {
  public:
    explicit stand_in_output(sound::player &music) : music_(music) {}

    void pull_seconds(double seconds) {
        const auto frames = static_cast<std::int64_t>(std::llround(seconds * rate));
        for (std::int64_t done = 0; done < frames;) {
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::int64_t>(882, frames - done));
            const std::size_t at = pulled_.size();
            pulled_.resize(at + 2 * n);
            music_.render(pulled_.data() + at, n);
            done += static_cast<std::int64_t>(n);
        }
    }
    std::int64_t frames() const { return static_cast<std::int64_t>(pulled_.size() / 2); }
    const std::vector<std::int16_t> &samples() const { return pulled_; }

    // The module position heard with the output `latency` seconds behind
    // what it pulled (a sink's buffer), or from stream sample `heard`.
    double heard_after(double latency) const {
        return position_of(std::max(0.0, static_cast<double>(frames()) - latency * rate));
    }
    double position_of(double heard) const {
        double seconds = -1;
        EXPECT_TRUE(music_.seconds_at(heard, seconds)) << "at stream sample " << heard;
        return seconds;
    }

  private:
    sound::player &music_;
    std::vector<std::int16_t> pulled_;
};

class MusicPosition : public testing::Test {
  protected:
    void SetUp() override {
        module = open_module(read_file(module_path));
        ASSERT_NE(module, nullptr);
        openmpt_module_set_repeat_count(module, -1);
    }
    void TearDown() override { openmpt_module_destroy(module); }
    openmpt_module *module = nullptr;
    sound::player music{rate};
    stand_in_output out{music};
};

double peak(const std::vector<std::int16_t> &v, std::size_t from, std::size_t to) {
    int p = 0;
    for (std::size_t i = from; i < to; ++i)
        p = std::max(p, std::abs(static_cast<int>(v[i])));
    return p;
}

TEST_F(MusicPosition, HeardPositionIsThePulledSampleLessTheOutputsLatency) {
    out.pull_seconds(0.5); // silence before play: the stream has begun already
    const std::int64_t start = out.frames();
    double before = 0;
    EXPECT_FALSE(music.seconds_at(static_cast<double>(start - 1), before)) << "nothing played yet";
    music.play(module);
    out.pull_seconds(3.0);
    // Whatever the latency, the sample heard holds the module's position
    // counted from the stream sample where it began.
    for (double latency : {0.0, 0.023, 0.25, 0.45, 1.5})
        EXPECT_NEAR(out.heard_after(latency), 3.0 - latency, 1e-9) << latency;
    // A sink that wakes late has played nothing: the music is at its start
    // until the first of its samples is heard.
    EXPECT_NEAR(out.position_of(static_cast<double>(start)), 0.0, 1e-12);
    EXPECT_NEAR(out.position_of(start + rate * 0.75), 0.75, 1e-9);
}

TEST_F(MusicPosition, PauseHoldsThePositionFromTheEndOfItsFadeAndGoesOnFromThere) {
    music.play(module);
    out.pull_seconds(2.0);
    const std::int64_t asked = music.frames_computed();
    music.set_paused(true);
    const std::int64_t silent_from = asked + music.fade_frames();
    const double held = static_cast<double>(silent_from) / rate;
    out.pull_seconds(1.0);
    // The fade plays the module on, then the stream holds silence and the
    // position stands.
    EXPECT_NEAR(out.position_of(asked + 10.0), (asked + 10.0) / rate, 1e-9);
    EXPECT_NEAR(out.position_of(static_cast<double>(silent_from)), held, 1e-9);
    EXPECT_NEAR(out.position_of(silent_from + rate * 0.9), held, 1e-12);
    EXPECT_EQ(peak(out.samples(), 2 * (silent_from), out.samples().size()), 0.0);

    const std::int64_t resumed = music.frames_computed();
    music.set_paused(false);
    out.pull_seconds(1.0);
    EXPECT_NEAR(out.position_of(resumed + rate * 0.5), held + 0.5, 1e-9);
    // Pausing twice, or going on while playing, changes nothing.
    music.set_paused(false);
    EXPECT_NEAR(out.heard_after(0.0), held + 1.0, 1e-9);
}

TEST_F(MusicPosition, SeekLandsOnTheCutAskedForAfterTheAudioAheadOfItIsHeard) {
    music.play(module);
    out.pull_seconds(1.0);
    const std::int64_t asked = music.frames_computed();
    for (double cut : {21.0, 6.0, 49.0}) {
        const std::int64_t at = music.frames_computed();
        const double reached = music.seek(cut);
        // The module's rows at a cut begin there (the song is written so), to
        // within the player's rounding of ticks to samples.
        EXPECT_NEAR(reached, cut, 0.005) << cut;
        const std::int64_t lands = at + music.fade_frames();
        out.pull_seconds(0.5);
        EXPECT_NEAR(out.position_of(lands - 1.0), out.position_of(lands - 2.0) + 1.0 / rate, 1e-9)
            << "the fade plays the old place";
        EXPECT_NEAR(out.position_of(static_cast<double>(lands)), reached, 1e-12) << cut;
        EXPECT_NEAR(out.position_of(lands + rate * 0.25), reached + 0.25, 1e-9) << cut;
    }
    EXPECT_GT(asked, 0);
    // A seek while paused moves the position and keeps it standing.
    music.set_paused(true);
    const std::int64_t at = music.frames_computed();
    const double reached = music.seek(34.0);
    out.pull_seconds(0.5);
    EXPECT_NEAR(out.position_of(at + rate * 0.4), reached, 1e-12);
}

TEST_F(MusicPosition, StopFadesToSilenceWithoutAClick) {
    music.play(module);
    // Into the greetings, where the music is loud, and stop mid-wave.
    music.seek(55.0);
    out.pull_seconds(1.0);
    const std::size_t before = out.samples().size();
    const std::int64_t stop_at = music.frames_computed();
    music.stop(module);
    EXPECT_EQ(music.playing(), nullptr);
    out.pull_seconds(0.2);
    const std::vector<std::int16_t> &v = out.samples();
    const double level = peak(v, before - 2 * rate / 10, before);
    ASSERT_GT(level, 3000) << "the music sounds where it is stopped";
    const std::size_t fade_end = static_cast<std::size_t>(2 * (stop_at + music.fade_frames()));
    // The fade lasts a few milliseconds and falls to silence: its last
    // millisecond is a small fraction of the level, and nothing follows.
    EXPECT_GE(music.fade_frames(), rate / 1000);
    EXPECT_LE(music.fade_frames(), rate / 50);
    EXPECT_LT(peak(v, fade_end - 2 * rate / 1000, fade_end), level * 0.25);
    EXPECT_EQ(peak(v, fade_end, v.size()), 0.0);
    // The position stands where the music stopped.
    EXPECT_NEAR(out.heard_after(0.0), out.position_of(static_cast<double>(fade_end / 2)), 1e-12);
}

} // namespace
