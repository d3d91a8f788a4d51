// Faces cut to the viewer's near plane and the frame's edges, and faces filled in pieces.
#pragma once

#include "demo/2d/demo_2d.h"
#include "demo/3d/demo_matrix.h"

#include <vector>

namespace demo {

// The near plane: the part of a face at depth (y + 50) below this is cut
// away before projection. Small, so that what the camera sees is kept, and
// above 0, so that every corner left projects (the cut points at this depth
// land up to 128,000 pixels per unit off the axis, well inside a double).
constexpr double near_depth = 1.0 / 256;

// A face corner on its way to the screen: its world position and shade.
struct clip_corner {
    double x, y, z;
    double shade;
};

// True when drawpoly2d fills the polygon's rows whole: y never turns back
// along the corners, other than once at the top and once at the bottom.
bool monotone_in_y(const std::vector<coord2d_s> &points);

// Fills a polygon whose corners all lie in the frame: as it is when it is
// monotone in y (exactly as drawpoly2d draws it), else in pieces that are:
// four-cornered pieces between each two rows that hold corners, bounded by
// the face's edges, each running the way the face runs there.
template <typename T> void fill_inside(const polygon2d_c &polygon);

// Cuts a face at the near plane in world space, then at the frame's edges in
// screen space, with the shade interpolated at every cut (along the edge in
// world space at the near plane, in screen space at the frame's edges, as the
// fill interpolates it), and fills what is left with fill_inside. A face with
// a coordinate that is not a finite number draws nothing.
template <typename T> void fill_clipped(const std::vector<clip_corner> &corners, unsigned colour);

// A line between two world points cut at the near plane and the frame's
// edges, then drawn with drawline2d_val; nothing when nothing is left.
void drawline_clipped(const fcoord3d_s &a, const fcoord3d_s &b, unsigned colour);

} // namespace demo
