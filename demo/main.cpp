// Program entry: banner, switches, soundtrack, graphics set-up, frame loop, shutdown; the quit
// hook.
#include "demo/demo.h"
#include "demo/media.h"
#include "ptc/ptc.h"
#include "sound/fmod.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// The presenter's quit hook (Escape, or the window manager's close): end at
// once, without exit handlers, destructors or stdio flushing.
void ptc_cleanup_callback() {
    std::fputs("Premature exit from demo\n", stderr);
    _exit(1);
}

int main(int argc, char **argv) {
    demo::print_banner();
    if (!demo::read_switches(argc, argv))
        return 1;

    FMUSIC_MODULE *song = nullptr;
    if (!demo::nosound) {
        if (!FSOUND_Init(44100, 32, 2)) {
            std::fputs("Sound init error\n", stderr);
            std::fprintf(stderr, "%s; run with -nosound to watch without sound\n",
                         FSOUND_GetErrorText());
            std::exit(1);
        }
        song = FMUSIC_LoadSong(demo::soundtrack_file);
        if (!song) {
            std::fputs("Sound load error\n", stderr);
            std::fprintf(stderr, "%s: %s\n", demo::soundtrack_file, FSOUND_GetErrorText());
            std::exit(1);
        }
        if (!FMUSIC_PlaySong(song)) {
            std::fputs("Play sound error\n", stderr);
            std::fprintf(stderr, "%s\n", FSOUND_GetErrorText());
            std::exit(1);
        }
    }

    if (!demo::gfxinit(demo::frame_width, demo::frame_height))
        return 1;

    std::printf("Set up, starting demo\n");
    demo::do_init();

    while (!demo::do_frame()) {
    }

    if (!demo::nogfx)
        ptc_close();
    if (!demo::nosound) {
        FMUSIC_FreeSong(song);
        FSOUND_Close();
    }
    return 0;
}
