// The show's script as data: the table of scenes that do_frame walks, second by second.
#pragma once

#include "demo/3d/demo_3d.h"
#include "demo/media.h"

#include <cstddef>

namespace demo {

// face_colour_mode as a scene leaves it: a mode it sets, or the one before.
constexpr int keep_face_colours = -1;

// One row of the script. Seconds first to last (both included) show the
// picture with its top-left corner at column 0, or centred (column
// 320 - width / 2, the division truncating), and row top; then the mesh over
// it, turned and moved along its circle, drawn face by face with draw.
struct scene_s {
    unsigned first, last;
    const char *name; // what the viewer sees, as tests and benchmarks call it
    int picture;      // picture_id, or no_picture
    bool centred;
    int top;
    int face_colours; // face_colour_mode set before drawing, or keep_face_colours
    int mesh;         // mesh_id, or no_mesh
    drawpoly3d_fn draw;
};

struct scene_table {
    const scene_s *rows;
    std::size_t count;
    const scene_s *begin() const { return rows; }
    const scene_s *end() const { return rows + count; }
};

// The show: seconds 0 to 58, one row after another.
extern const scene_table show_scenes;
// vorbo-window-legacy's own rows: the jet drawn flat in its first three seconds.
extern const scene_table window_legacy_scenes;

// The rows this program plays in place of the show's own, looked at first:
// none, or window_legacy_scenes. Defined by the scenes module the program
// links (demo_show_scenes or demo_window_legacy_scenes).
extern const scene_table &program_scenes;

// The row that shows second s, or null past the show's end.
const scene_s *scene_at(unsigned s);

// Draws a row's picture, then its mesh at the packed demo time t, setting
// face_colour_mode as the row says.
void draw_scene(const scene_s &scene, double t);

} // namespace demo
