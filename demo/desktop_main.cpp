// vorbo-desktop's program entry: the show on the music's clock, paced by the display, with the
// viewer's keys.
//
// The same banner, switches, graphics set-up, media and frame step as the
// other programs; what differs is the clock and the loop. The show's time is
// the music's position as heard (the sound library tells it, after the
// output's latency), read for the moment the frame will be on screen, and it
// runs on without the demo clock's once-a-second step. Each frame is drawn
// when the display wants one. Space pauses music and picture, Left and Right
// go to the start of the previous and next scene (the music to the same cut),
// q or Escape end the show. The last frame stays up until the music's last
// note has died away; then the output is closed with a fade.
#include "demo/demo.h"
#include "demo/media.h"
#include "demo/music_clock.h"
#include "ptc/desktop.h"
#include "sound/fmod.h"

#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

FMUSIC_MODULE *song = nullptr;

// The show's time of the frame being drawn, as the timeline reads it.
unsigned frame_time = 0;
unsigned read_frame_time() {
    return frame_time;
}

std::int64_t monotonic_ns() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void sleep_until(std::int64_t when_ns) {
    timespec until = {static_cast<std::time_t>(when_ns / 1000000000),
                      static_cast<long>(when_ns % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
    }
}

// Fades the music out and lets the output play what it holds: no sound ends
// mid-wave, however the show ends.
void close_music() {
    if (!song)
        return;
    FMUSIC_FreeSong(song);
    song = nullptr;
    FSOUND_Close();
}

// The soundtrack, loaded and ready to play; where there is none the show
// plays silently on its own clock after one line that says why (started
// from a desktop's menu, nobody would read a hint to use -nosound).
bool open_music() {
    if (demo::nosound) {
        std::printf("Playing without sound (-nosound), on the show's own clock\n");
        return false;
    }
    if (!FSOUND_Init(44100, 32, 2)) {
        std::fprintf(stderr, "No sound output (%s): playing without sound\n",
                     FSOUND_GetErrorText());
        return false;
    }
    song = FMUSIC_LoadSong(demo::soundtrack_file);
    if (!song) {
        std::fprintf(stderr, "No soundtrack (%s: %s): playing without sound\n",
                     demo::soundtrack_file, FSOUND_GetErrorText());
        FSOUND_Close();
        return false;
    }
    return true;
}

demo::show_clock music_clock() {
    demo::show_clock::music played;
    played.audible = [](std::int64_t when_ns, double &seconds) {
        return FMUSIC_GetAudibleTime(song, when_ns, &seconds) != 0;
    };
    played.set_paused = [](bool paused) { FMUSIC_SetPaused(song, paused ? 1 : 0); };
    played.seek = [](double seconds) { FMUSIC_SetTime(song, seconds); };
    return demo::show_clock(played);
}

void take_commands(demo::show_clock &clock) {
    for (ptc_command command; (command = ptc_take_command()) != ptc_command_none;) {
        const std::int64_t now = monotonic_ns();
        if (command == ptc_command_pause) {
            clock.toggle_pause(now);
            continue;
        }
        const double here = clock.place_for_keys(now);
        const double to = command == ptc_command_previous ? demo::previous_scene_start(here)
                                                          : demo::next_scene_start(here);
        if (to >= 0)
            clock.seek(to, now);
    }
}

// The display's refresh period, from the times of the refreshes the frames
// are shown at (frames that miss a refresh show two periods apart, and are
// not counted).
class refresh_period {
  public:
    std::int64_t after(std::int64_t shown_ns) {
        const std::int64_t gap = shown_ns - last_ns_;
        last_ns_ = shown_ns;
        if (gap > 0 && gap < 100000000 && (!period_ns_ || gap < period_ns_ * 3 / 2))
            period_ns_ = period_ns_ ? (7 * period_ns_ + gap) / 8 : gap;
        return period_ns_;
    }

  private:
    std::int64_t last_ns_ = 0;
    std::int64_t period_ns_ = 0;
};

// A display refresh's worth, for pacing where there is no display (-nogfx)
// and for waiting while the last frame stays up.
constexpr std::int64_t frame_period_ns = 1000000000 / 60;

} // namespace

// The presenter's quit hook (Escape, q, the window's close): the music fades
// out, then the program ends at once with status 1.
void ptc_cleanup_callback() {
    std::fputs("Premature exit from demo\n", stderr);
    close_music();
    _exit(1);
}

int main(int argc, char **argv) {
    demo::print_banner();
    if (!demo::read_switches(argc, argv))
        return 1;

    const bool with_music = open_music();
    if (!demo::gfxinit(demo::frame_width, demo::frame_height))
        return 1;
    std::printf("Set up, starting demo\n");
    std::fflush(stdout);
    demo::do_init();

    // The music starts once everything is loaded, so the show starts with it.
    demo::show_clock clock;
    if (with_music && FMUSIC_PlaySong(song)) {
        clock = music_clock();
    } else if (with_music) {
        std::fprintf(stderr, "The soundtrack did not start (%s): playing without sound\n",
                     FSOUND_GetErrorText());
        close_music();
    }

    demo::time_source = read_frame_time;
    std::int64_t next_tick = monotonic_ns();
    refresh_period refresh;
    for (;;) {
        bool wanted = true;
        if (demo::nogfx) {
            sleep_until(next_tick);
            next_tick += frame_period_ns;
        } else {
            wanted = ptc_wait_for_frame(100);
            take_commands(clock);
        }
        // Drawn for the moment it will be seen: the middle of its time on
        // screen, from the display's next refresh to the one after, where the
        // presenter knows them (a cut then shows within half a refresh of the
        // music's turn, either side); else now.
        const std::int64_t seen = wanted && !demo::nogfx ? ptc_next_frame_time() : 0;
        const double seconds =
            clock.seconds_at(seen ? seen + refresh.after(seen) / 2 : monotonic_ns());
        if (seconds >= demo::show_end_seconds)
            break;
        if (seconds >= demo::show_seconds) {
            // The last frame stays up while the music dies away.
            if (!demo::nogfx)
                sleep_until(monotonic_ns() + frame_period_ns);
            continue;
        }
        if (!wanted)
            continue;
        frame_time = demo::packed_show_time(seconds);
        demo::do_frame();
    }
    demo::time_source = nullptr;

    if (!demo::nogfx)
        ptc_close();
    close_music();
    return 0;
}
