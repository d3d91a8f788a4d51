// What the program entry drives: the graphics set-up, the media's loading, one frame at a time.
#pragma once

namespace demo {

// Allocates the frame and its row table, opens the presenter unless nogfx is
// set, and starts the demo clock. Returns 1 on success, 0 on failure (after
// printing "Unable to open display").
int gfxinit(int width, int height);

// The show's length: do_frame ends it at the first frame of this second.
constexpr unsigned show_seconds = 59;

// The scene timeline: loads the show's media once; draws and presents one
// frame, returning 0 while the show goes on and 1 once it is over.
void do_init();
int do_frame();

} // namespace demo

// Plots the red dot of the current frame (column 500, rows 120 to 360).
void fireworks();
