// The show's script: what each second of the demo draws.
#include "demo/demo.h"
#include "ptc/ptc.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace demo {

std::string demoname = "Vorbo returns";

namespace {
unsigned curtime = 0;  // demo time of the current frame
unsigned subtime0 = 0; // its whole seconds: selects the scene
} // namespace

void do_init() {}

int do_frame() {
    curtime = time();
    subtime0 = curtime >> 20;
    clear(0);
    fireworks();
    if (subtime0 > 58)
        return 1;

    if (nogfx)
        return 0;
    if (ptc_update(frame) == 1)
        return 0;
    std::printf("Failed!\n");
    ptc_close();
    std::exit(1);
}

} // namespace demo

// The red dot in column 500, swinging between rows 120 and 360.
void fireworks() {
    double t = static_cast<double>(demo::curtime);
    int row = static_cast<int>(std::sin(t * 2e-6) * 120 + 240);
    demo::frame_lines[row][500] = 0xff0000;
}
