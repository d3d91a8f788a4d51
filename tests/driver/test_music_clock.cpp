// vorbo-desktop's clock with a stand-in music: the frame's moment, a late-waking sink, pause, seek,
// the monotonic clock without music, the even packed value and the scene keys.
#include "demo/music_clock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr std::int64_t ms = 1000000;

// Music that sounds from `heard_from_ns` on (a sink that wakes then), moving
// one second a second until paused; seek and pause act only once `latency_ns`
// has passed, as a sound server's buffer makes them. It can tell nothing
// before `tells_from_ns`.
struct stand_in_music {
    std::int64_t heard_from_ns = 0;
    std::int64_t tells_from_ns = 0;
    std::int64_t latency_ns = 250 * ms;
    // (moment heard, position from then, moving) in order.
    struct change {
        std::int64_t at;
        double seconds;
        bool moving;
    };
    std::vector<change> changes;
    std::vector<double> seeks;
    std::vector<bool> pauses;

    bool audible(std::int64_t when, double &seconds) const {
        if (when < tells_from_ns)
            return false;
        seconds = 0;
        if (when < heard_from_ns)
            return true;
        change now = {heard_from_ns, 0.0, true};
        for (const change &c : changes)
            if (c.at <= when)
                now = c;
        seconds = now.seconds + (now.moving ? static_cast<double>(when - now.at) / 1e9 : 0.0);
        return true;
    }
    demo::show_clock clock(const std::int64_t *now) {
        demo::show_clock::music m;
        m.audible = [this](std::int64_t when, double &s) { return audible(when, s); };
        m.set_paused = [this, now](bool paused) {
            pauses.push_back(paused);
            const std::int64_t at = *now + latency_ns;
            double s = 0;
            audible(at, s);
            changes.push_back({at, s, !paused});
        };
        m.seek = [this, now](double to) {
            seeks.push_back(to);
            const std::int64_t at = *now + latency_ns;
            const bool moving = changes.empty() || changes.back().moving;
            changes.push_back({at, to, moving});
        };
        return demo::show_clock(m);
    }
};

TEST(MusicClock, TheFrameShowsWhatIsHeardWhenItIsSeen) {
    stand_in_music music;
    music.tells_from_ns = 100 * ms;
    music.heard_from_ns = 900 * ms; // a sleeping sink wakes late
    std::int64_t now = 0;
    demo::show_clock clock = music.clock(&now);

    EXPECT_EQ(clock.seconds_at(50 * ms), 0.0) << "nothing told yet: the start";
    EXPECT_EQ(clock.seconds_at(600 * ms), 0.0) << "the sink has not woken: the first frame waits";
    // Cuts fall where the music turns, from the first to the last.
    for (int cut : {6, 9, 14, 21, 28, 34, 44, 49}) {
        const std::int64_t turn = music.heard_from_ns + cut * 1000 * ms;
        EXPECT_LT(clock.seconds_at(turn - ms), cut);
        EXPECT_GE(clock.seconds_at(turn), cut);
    }
    // A frame drawn now for the refresh 16.7 ms ahead shows that moment.
    EXPECT_NEAR(clock.seconds_at(music.heard_from_ns + 50 * 1000 * ms + 16700000), 50.0167, 1e-9);
}

TEST(MusicClock, HoldsItsPlaceWhenTheMusicCannotTellOrWavers) {
    stand_in_music music;
    std::int64_t now = 0;
    demo::show_clock clock = music.clock(&now);
    EXPECT_NEAR(clock.seconds_at(3000 * ms), 3.0, 1e-9);
    music.tells_from_ns = 10000 * ms; // the output stops telling
    EXPECT_NEAR(clock.seconds_at(3500 * ms), 3.0, 1e-9);
    music.tells_from_ns = 0;
    // A report a few milliseconds behind the last is held; a real jump back
    // (a seek) is taken.
    EXPECT_NEAR(clock.seconds_at(3600 * ms), 3.6, 1e-9);
    EXPECT_NEAR(clock.seconds_at(3590 * ms), 3.6, 1e-9);
    music.changes.push_back({3700 * ms, 1.0, true});
    EXPECT_NEAR(clock.seconds_at(3800 * ms), 1.1, 1e-9);
}

TEST(MusicClock, PauseAndSeekGoThroughTheMusicAndThePictureFollowsWhatIsHeard) {
    stand_in_music music;
    std::int64_t now = 10000 * ms;
    demo::show_clock clock = music.clock(&now);
    EXPECT_NEAR(clock.seconds_at(now), 10.0, 1e-9);

    clock.toggle_pause(now);
    EXPECT_TRUE(clock.paused());
    ASSERT_EQ(music.pauses, std::vector<bool>{true});
    // Until the pause is heard, picture and music go on together; then both stand.
    EXPECT_NEAR(clock.seconds_at(now + 100 * ms), 10.1, 1e-9);
    EXPECT_NEAR(clock.seconds_at(now + 2000 * ms), 10.25, 1e-9);

    now += 3000 * ms;
    // Right while paused: to the next scene's start (21), the key's place is
    // the target at once, so a second Right goes on to the scene after.
    const double here = clock.place_for_keys(now);
    EXPECT_NEAR(here, 10.25, 1e-9);
    clock.seek(demo::next_scene_start(here), now);
    EXPECT_EQ(clock.place_for_keys(now), 14.0);
    clock.seek(demo::next_scene_start(clock.place_for_keys(now)), now);
    EXPECT_EQ(music.seeks, (std::vector<double>{14.0, 21.0}));
    EXPECT_NEAR(clock.seconds_at(now + 300 * ms), 21.0, 1e-9) << "heard, and standing";
    EXPECT_NEAR(clock.place_for_keys(now + 300 * ms), 21.0, 1e-9);

    now += 400 * ms;
    clock.toggle_pause(now);
    EXPECT_FALSE(clock.paused());
    EXPECT_NEAR(clock.seconds_at(now + 1250 * ms), 22.0, 1e-9) << "going on once heard";
}

TEST(SilentClock, RunsFromTheFirstFramePausesAndSeeks) {
    demo::show_clock clock;
    const std::int64_t first = 123456 * ms;
    EXPECT_EQ(clock.seconds_at(first), 0.0);
    EXPECT_NEAR(clock.seconds_at(first + 2500 * ms), 2.5, 1e-9);
    clock.toggle_pause(first + 3000 * ms);
    EXPECT_NEAR(clock.seconds_at(first + 9000 * ms), 3.0, 1e-9);
    clock.seek(28.0, first + 9000 * ms);
    EXPECT_NEAR(clock.seconds_at(first + 9500 * ms), 28.0, 1e-9);
    clock.toggle_pause(first + 10000 * ms);
    EXPECT_NEAR(clock.seconds_at(first + 10500 * ms), 28.5, 1e-9);
    clock.seek(0.0, first + 11000 * ms);
    EXPECT_NEAR(clock.seconds_at(first + 11000 * ms), 0.0, 1e-9);
}

TEST(ShowTime, PackedValueRunsEvenlyAcrossEverySecond) {
    // The scene is the whole second; the value grows by 2^20 a second with no
    // step at the boundary (the demo clock's jumps by 48,577 there).
    const double frame = 1.0 / 50;
    for (int k = 1; k < 59 * 50; ++k) {
        const double s = k * frame;
        const unsigned t = demo::packed_show_time(s);
        const unsigned before = demo::packed_show_time(s - frame);
        ASSERT_EQ(t >> 20, static_cast<unsigned>(s + 1e-9)) << k;
        ASSERT_NEAR(static_cast<double>(t - before), 1048576.0 / 50, 1.0) << k;
    }
    EXPECT_EQ(demo::packed_show_time(-0.5), 0u);
    EXPECT_EQ(demo::packed_show_time(58.5), (58u << 20) | (1u << 19));
}

TEST(ShowTime, LeftAndRightGoToTheScenesStarts) {
    const double starts[] = {0, 6, 9, 14, 21, 28, 34, 44, 49};
    for (std::size_t i = 0; i < std::size(starts); ++i) {
        for (double into : {0.0, 0.5, 2.9}) {
            const double s = starts[i] + into;
            EXPECT_EQ(demo::previous_scene_start(s), starts[i ? i - 1 : 0]) << s;
            EXPECT_EQ(demo::next_scene_start(s), i + 1 < std::size(starts) ? starts[i + 1] : -1.0)
                << s;
        }
    }
    EXPECT_EQ(demo::previous_scene_start(59.1), 44.0) << "the held last frame is the last scene's";
}

} // namespace
