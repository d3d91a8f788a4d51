// The presenter: shows the demo's 32-bit frame on an X display (one per process).
//
// Two back-ends offer this interface, chosen when a program is built: a
// fixed-size window through MIT-SHM images, or full screen through DGA.
// The presenter prints nothing; every failure is a 0 result.
#pragma once

#include "ptc/convert.h"

// Opens the display for frames of width x height pixels. 1 when ready, 0 on any failure.
int ptc_open(const char *title, int width, int height);

// Converts and shows one frame (width x height pixels 0x00RRGGBB), then takes
// at most one pending event. Returns 1. On Escape it calls ptc_cleanup_callback.
int ptc_update(void *frame);

// Takes at most one pending event: 1 when it was an Escape key press, else 0.
int ptc_process_events();

// Releases everything ptc_open acquired.
void ptc_close();

// Why the last ptc_open failed: one line, without its newline, for the
// program to print after its own message ("" when no reason is known).
const char *ptc_failure_reason();

// Supplied by the program: called by ptc_update when the viewer pressed
// Escape, before anything is released.
void ptc_cleanup_callback();

// The converter chosen at open.
extern ptc_converter_t ptc_convert;
