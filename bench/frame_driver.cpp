// Renders N frames of one scene without presenting, for instruction counts under callgrind.
//
//   vorbo-frame-driver SECOND [FRAMES]
//   vorbo-frame-driver --scenes      one line per scene: a second in it, its name,
//                                    its first and last second
//
// Loads the show from the build's data/ (or $VORBO_BINARY_DIR/data), draws one
// untimed frame, then FRAMES frames (default 64) at moments spread evenly over
// demo second SECOND. Under `valgrind --tool=callgrind --collect-atstart=no`
// only those FRAMES frames are collected, so the total Ir divided by FRAMES is
// the instruction count of one frame. Outside valgrind it just draws them.
#include "bench/frame_scene.h"

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "--scenes") == 0) {
        for (const frame_scene::scene &sc : frame_scene::scenes())
            std::printf("%u %s %u %u\n", sc.second, sc.name, sc.row->first, sc.row->last);
        return 0;
    }
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s SECOND [FRAMES] | --scenes\n", argv[0]);
        return 2;
    }
    const long second = std::strtol(argv[1], nullptr, 10);
    const long frames = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 64;
    if (second < 0 || second >= long(demo::show_seconds) || frames < 1 || frames > 100000) {
        std::fprintf(stderr, "SECOND must be 0..%u and FRAMES 1..100000\n", demo::show_seconds - 1);
        return 2;
    }
    const frame_scene::show &show = frame_scene::open_show();
    if (!show.error.empty()) {
        std::fprintf(stderr, "%s\n", show.error.c_str());
        return 1;
    }

    // The first frame binds the library calls and warms the caches.
    frame_scene::pin(second, 0, 1);
    demo::do_frame();

    int over = 0;
    CALLGRIND_TOGGLE_COLLECT;
    for (long k = 0; k < frames; ++k) {
        frame_scene::pin(second, k, frames);
        over |= demo::do_frame();
    }
    CALLGRIND_TOGGLE_COLLECT;
    std::printf("%ld frames of second %ld\n", frames, second);
    return over;
}
