// The demo driver's shared state: the frame buffer, the demo clock and the frame step.
#pragma once

#include <ctime>
#include <string>

namespace demo {

// The one description of the frame that every stage draws to: 640 x 480
// pixels 0x00RRGGBB, rows top-down, each row frame_pitch pixels after the one
// above (no gap), and the centre that pictures and the camera are placed
// about. These are fixed numbers, not readings of xres and yres: the clear,
// the rasterizer's limits and the camera are built for this one size.
constexpr int frame_width = 640;
constexpr int frame_height = 480;
constexpr int frame_pitch = frame_width;
constexpr int frame_pixels = frame_width * frame_height;
constexpr int frame_centre_x = frame_width / 2;
constexpr int frame_centre_y = frame_height / 2;

// The frame buffer: xres x yres pixels 0x00RRGGBB, rows top-down with no gap.
// All drawing goes through frame_lines (entry y is the first pixel of row y).
extern unsigned *frame;
extern unsigned **frame_lines;
extern int xres;
extern int yres;

// Origin of the demo clock: whole seconds since the epoch when gfxinit finished.
extern std::time_t starttime;

// Set by the switches "-nogfx" and "-nosound".
extern bool nogfx;
extern bool nosound;

// The demo's title, "Vorbo returns": the banner's first words and the title
// handed to the presenter.
extern std::string demoname;

// Demo time: whole seconds since starttime (mod 4096) in bits 31-20,
// microseconds within the second (0..999999) in bits 19-0.
unsigned time();

// Offline rendering replaces the wall clock: while this is set, time()
// returns its result instead of reading the time of day.
extern unsigned (*time_source)();

// Writes value into all 640 x 480 pixels of the frame.
void clear(unsigned value);

// Points lines[y] at the first pixel of row y of block, whose rows are pitch
// pixels apart, for the height rows from 0 down: the row table of the frame,
// or of any other block drawn through frame_lines.
void build_frame_lines(unsigned *block, int height, int pitch, unsigned **lines);

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
