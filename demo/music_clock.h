// vorbo-desktop's clock: the show's time is the music's as heard, or the monotonic clock's without
// it.
#pragma once

#include <cstdint>
#include <functional>

namespace demo {

// The show's time as the timeline reads it (demo::time_source), without the
// once-a-second step: whole seconds in bits 31-20 as ever, and below them
// 2^20ths of a second, so that the packed value grows by exactly 1 << 20
// every second, evenly. The scene is t >> 20 and the meshes turn by t as
// with the demo clock, at the same speeds.
unsigned packed_show_time(double seconds);

// Seconds of show after which vorbo-desktop ends: the last frame (second
// 58's) stays up from 59 s until the music's last note has died away.
constexpr double show_end_seconds = 59.25;

// The starts of the scenes before and after the moment `seconds` of the
// show (Left and Right): the start of the scene before the one playing (the
// show's start in the first scene), and of the scene after it (none, -1, in
// the last).
double previous_scene_start(double seconds);
double next_scene_start(double seconds);

// The show's clock: the music's position as heard when there is music, else
// the monotonic clock from the first reading. Pausing and seeking move the
// music with it (the music is paused and moved, and the picture follows what
// is heard), or the monotonic clock alone.
class show_clock {
  public:
    // What the clock asks of the music: its position (seconds from its
    // start) heard at a moment of CLOCK_MONOTONIC (false when that cannot be
    // told yet), and its pause and move. The sound library's calls, or a
    // test's stand-ins.
    struct music {
        std::function<bool(std::int64_t when_ns, double &seconds)> audible;
        std::function<void(bool paused)> set_paused;
        std::function<void(double seconds)> seek;
    };

    // The monotonic clock, from the first reading.
    show_clock() = default;
    // The music's clock.
    explicit show_clock(music played) : music_(std::move(played)), has_music_(true) {}

    // The show's time, in seconds, of what is seen or heard at when_ns.
    double seconds_at(std::int64_t when_ns);

    void toggle_pause(std::int64_t now_ns);
    bool paused() const { return paused_; }

    // Moves the show to `seconds` (both music and picture).
    void seek(double seconds, std::int64_t now_ns);

    // Where the show is for the viewer's next Left or Right: where it was
    // last moved to until that is heard (or seen), else its time at now_ns.
    double place_for_keys(std::int64_t now_ns);

  private:
    music music_;
    bool has_music_ = false;
    bool paused_ = false;
    // The music: the last position told (held while it cannot be told).
    double last_ = 0;
    // Where the show was moved to and is not yet heard: -1 for none.
    double moving_to_ = -1;
    // The monotonic clock: when the show's 0 was, and since when it stands.
    bool started_ = false;
    std::int64_t origin_ns_ = 0;
    std::int64_t paused_at_ns_ = 0;
};

} // namespace demo
