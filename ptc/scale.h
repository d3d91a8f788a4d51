// Whole-number scaling of converted rows: every display pixel widened into k copies, rows repeated.
#pragma once

#include "ptc/convert.h"

#include <cstddef>

// A widener: (destination, source, count, k) writes count * k display pixels,
// each of the count source pixels k times over, packed from the start of the
// destination. It reads count pixels and writes exactly count * k; nothing
// beyond. Pixels are 2, 3 or 4 bytes, as the converters write them.
// Where a frame goes in an area (a window, an output): the largest whole
// scale at which it fits, centred, black around it. scale is 0 when the
// frame does not fit even at scale 1.
struct ptc_layout_s {
    int scale;
    int x, y; // the scaled frame's top-left corner in the area
};
ptc_layout_s ptc_lay_out(int area_width, int area_height, int frame_width, int frame_height);

using ptc_widener_t = void (*)(void *destination, const void *source, std::size_t count, int k);

// The widener for display pixels of bytes_per_pixel bytes (2, 3 or 4), or
// null: the vector kernels where this build has them, else the scalar ones.
ptc_widener_t ptc_request_widener(int bytes_per_pixel);

// Converts a frame of width x height 32-bit pixels through convert and writes
// it k times larger into destination, whose rows are pitch bytes apart: each
// frame pixel becomes a k x k block of display pixels. Each source row goes
// once through the converter (straight into its output row when k is 1, else
// into row, which holds width display pixels), is widened into the first of
// its k output rows and copied into the other k - 1.
void ptc_convert_scaled(const void *frame, int width, int height, int k, ptc_converter_t convert,
                        ptc_widener_t widen, int bytes_per_pixel, void *row, char *destination,
                        std::ptrdiff_t pitch);

namespace ptc_rows {

// The plain reference of each widener, and the SSSE3 kernels: null from
// ssse3_widener where the build has no vector code or the CPU lacks SSSE3.
void scalar_widen_2(void *destination, const void *source, std::size_t count, int k);
void scalar_widen_3(void *destination, const void *source, std::size_t count, int k);
void scalar_widen_4(void *destination, const void *source, std::size_t count, int k);
ptc_widener_t scalar_widener(int bytes_per_pixel);
ptc_widener_t ssse3_widener(int bytes_per_pixel);

} // namespace ptc_rows
