// Graphics set-up: the frame buffer and its row table, the presenter, the clock's start.
#include "demo/demo.h"
#include "ptc/ptc.h"

#include <cstdio>
#include <sys/time.h>

namespace demo {

int gfxinit(int width, int height) {
    xres = width;
    yres = height;
    // Both blocks live until the process ends. The frame's contents are left
    // to the timeline, which clears it at the start of every frame.
    frame = new unsigned[static_cast<size_t>(width) * height];
    frame_lines = new unsigned *[height];
    build_frame_lines(frame, height, width, frame_lines);

    if (!nogfx && !ptc_open(demoname.c_str(), width, height)) {
        std::fputs("Unable to open display\n", stderr);
        // Then why, where the presenter knows.
        if (const char *reason = ptc_failure_reason(); reason && *reason)
            std::fprintf(stderr, "%s\n", reason);
        return 0;
    }

    timeval now;
    gettimeofday(&now, nullptr);
    starttime = now.tv_sec;
    return 1;
}

} // namespace demo
