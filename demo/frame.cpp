// One frame of the show: the clock read once, the clear, the red dot, the second's scene, the
// present.
#include "demo/demo.h"
#include "demo/timeline.h"
#include "ptc/ptc.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace demo {

namespace {

unsigned curtime = 0;  // demo time of the current frame
unsigned subtime0 = 0; // its whole seconds: selects the scene

} // namespace

int do_frame() {
    curtime = time();
    subtime0 = curtime >> 20;
    clear(0);
    fireworks();
    if (subtime0 >= show_seconds)
        return 1;

    if (const scene_s *scene = scene_at(subtime0))
        draw_scene(*scene, static_cast<double>(curtime));

    if (nogfx)
        return 0;
    if (ptc_update(frame) == 1)
        return 0;
    std::printf("Failed!\n");
    ptc_close();
    std::exit(1);
}

} // namespace demo

void fireworks() {
    double t = static_cast<double>(demo::curtime);
    int row = static_cast<int>(std::sin(t * 2e-6) * 120 + demo::frame_centre_y);
    demo::frame_lines[row][500] = 0xff0000;
}
