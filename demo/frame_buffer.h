// The frame every stage draws to: its one description, the buffer and row table, the clear.
#pragma once

namespace demo {

// The one description of the frame: 640 x 480 pixels 0x00RRGGBB, rows
// top-down, each row frame_pitch pixels after the one above (no gap), and the
// centre that pictures and the camera are placed about. These are fixed
// numbers: the clear, the rasterizer's limits and the camera are built for
// this one size.
constexpr int frame_width = 640;
constexpr int frame_height = 480;
constexpr int frame_pitch = frame_width;
constexpr int frame_pixels = frame_width * frame_height;
constexpr int frame_centre_x = frame_width / 2;
constexpr int frame_centre_y = frame_height / 2;

// The frame buffer: frame_width x frame_height pixels in one block. All
// drawing goes through frame_lines (entry y is the first pixel of row y).
extern unsigned *frame;
extern unsigned **frame_lines;

// The width and height gfxinit was given (640 and 480), kept as given. Nothing
// draws by them: every stage reads the constants above.
extern int xres;
extern int yres;

// Writes value into all 640 x 480 pixels of the frame.
void clear(unsigned value);

// Points lines[y] at the first pixel of row y of block, whose rows are pitch
// pixels apart, for the height rows from 0 down: the row table of the frame,
// or of any other block drawn through frame_lines.
void build_frame_lines(unsigned *block, int height, int pitch, unsigned **lines);

} // namespace demo
