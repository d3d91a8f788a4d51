// The presenter: shows the demo's 32-bit frame on a display (one per process).
//
// Four back-ends offer this interface; a program links one of them when it is
// built (vorbo_add_program's BACKEND):
//   ptc_window      a fixed-size window through MIT-SHM images (window.cpp)
//   ptc_fullscreen  full screen straight into video memory through DGA, with a
//                   VidMode switch (fullscreen.cpp; root in privilege.cpp, the
//                   process that switches the mode back in mode_guard.cpp)
//   ptc_desktop     full screen on one monitor of today's desktops, the frame
//                   scaled up by a whole number and shown once per refresh
//                   (desktop.cpp, which chooses Wayland or X11 at open; more
//                   calls in desktop.h)
//   ptc_none        no display at all, for programs that draw only into memory
//                   (none.cpp)
// The X back-ends share their core (x11_shared.h) and the converters
// (convert.h). The presenter prints nothing; every failure is a 0 result,
// with its reason in ptc_failure_reason.
#pragma once

#include "ptc/convert.h"

// Opens the display for frames of width x height pixels. 1 when ready, 0 on any failure.
int ptc_open(const char *title, int width, int height);

// Converts and shows one frame (width x height pixels 0x00RRGGBB), then takes
// at most one pending event. Returns 1. When the viewer asked to quit it calls
// ptc_cleanup_callback; if that returns, it closes and ends the process with
// status 0.
int ptc_update(void *frame);

// Takes at most one pending event: 1 when the viewer asked to quit (an Escape
// key press, or the window manager's close), else 0.
int ptc_process_events();

// Releases everything ptc_open acquired.
void ptc_close();

// Why the last ptc_open failed: one line, without its newline, for the
// program to print after its own message ("" when no reason is known).
const char *ptc_failure_reason();

// Supplied by the program: called by ptc_update when the viewer asked to quit,
// before anything is released.
void ptc_cleanup_callback();

// The converter chosen at open.
extern ptc_converter_t ptc_convert;
