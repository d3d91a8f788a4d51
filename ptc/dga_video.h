// The DGA video-memory calls of the full-screen presenter, gathered so a test can stand in for
// them.
#pragma once

#include <X11/Xlib.h>

// The five calls that reach the video memory, with the DGA library's
// arguments and results. Everything else the presenter asks of the server
// (mode list and switch, grabs, events) goes to the server directly.
struct ptc_dga_video_s {
    // Maps the screen's video memory: address, line width in pixels, bank size
    // in bytes (the length mapped), memory size in kilobytes. Non-zero when mapped.
    Status (*get_video)(Display *display, int screen, char **address, int *width, int *banksize,
                        int *memory);
    // Direct video on (the XF86DGADirect* flags) or off (0).
    Status (*direct_video)(Display *display, int screen, int flags);
    // Moves the visible area to x, y of video memory.
    Status (*set_viewport)(Display *display, int screen, int x, int y);
    // Size of the visible area in pixels.
    Status (*get_viewport_size)(Display *display, int screen, int *width, int *height);
    // Splits the process: 0 in the process that goes on; the other one waits
    // for it, switches direct video off and ends with status 0 when it ended
    // by itself, 255 when a signal killed it. Non-zero when no split was made.
    int (*fork_app)(int screen);
};

// The calls the presenter makes: the DGA library's, unless a test program
// replaced them before ptc_open.
extern ptc_dga_video_s ptc_dga_video;
