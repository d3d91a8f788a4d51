// vorbo-desktop's clock: the music's position as heard, or the monotonic clock; pause, seek, the
// cuts.
#include "demo/music_clock.h"

#include "demo/timeline.h"

#include <cmath>

namespace demo {

namespace {

// The music's position as told moves on by less than this backwards between
// two reports of the sound server (its rounding), and is held instead: a
// picture that steps back by a few milliseconds is a mesh that twitches.
constexpr double told_jitter_seconds = 0.02;

// The row of the show that plays at `seconds` (the last one past the end).
std::size_t scene_index(double seconds) {
    const std::size_t count = show_scenes.count;
    const double s = std::floor(seconds);
    for (std::size_t i = 0; i < count; ++i)
        if (s <= static_cast<double>(show_scenes.rows[i].last))
            return i;
    return count - 1;
}

} // namespace

unsigned packed_show_time(double seconds) {
    if (!(seconds > 0))
        return 0;
    return static_cast<unsigned>(static_cast<std::uint64_t>(std::floor(seconds * 1048576.0)));
}

double previous_scene_start(double seconds) {
    const std::size_t i = scene_index(seconds);
    return show_scenes.rows[i > 0 ? i - 1 : 0].first;
}

double next_scene_start(double seconds) {
    const std::size_t i = scene_index(seconds);
    return i + 1 < show_scenes.count ? show_scenes.rows[i + 1].first : -1.0;
}

double show_clock::seconds_at(std::int64_t when_ns) {
    if (has_music_) {
        double heard = 0;
        if (music_.audible && music_.audible(when_ns, heard)) {
            if (!(heard < last_ && last_ - heard < told_jitter_seconds))
                last_ = heard;
            if (moving_to_ >= 0 && std::fabs(last_ - moving_to_) < 0.5)
                moving_to_ = -1;
        }
        return last_;
    }
    if (!started_) {
        started_ = true;
        origin_ns_ = when_ns;
    }
    const std::int64_t at = paused_ ? paused_at_ns_ : when_ns;
    return static_cast<double>(at - origin_ns_) / 1e9;
}

void show_clock::toggle_pause(std::int64_t now_ns) {
    paused_ = !paused_;
    if (has_music_) {
        if (music_.set_paused)
            music_.set_paused(paused_);
        return;
    }
    if (!started_) {
        started_ = true;
        origin_ns_ = now_ns;
    }
    if (paused_)
        paused_at_ns_ = now_ns;
    else
        origin_ns_ += now_ns - paused_at_ns_;
}

void show_clock::seek(double seconds, std::int64_t now_ns) {
    if (has_music_) {
        if (music_.seek)
            music_.seek(seconds);
        moving_to_ = seconds;
        return;
    }
    started_ = true;
    origin_ns_ = (paused_ ? paused_at_ns_ : now_ns) - static_cast<std::int64_t>(seconds * 1e9);
}

double show_clock::place_for_keys(std::int64_t now_ns) {
    const double now = seconds_at(now_ns);
    return moving_to_ >= 0 ? moving_to_ : now;
}

} // namespace demo
