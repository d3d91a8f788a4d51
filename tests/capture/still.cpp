// Test helper: draws the timeline's frame for one packed demo time and writes its raw pixels.
#include "demo/demo.h"

#include <cstdio>
#include <cstdlib>

namespace {
unsigned still_time = 0;
unsigned read_still_time() {
    return still_time;
}
} // namespace

// capture_still TIME FILE: TIME is the packed demo time (decimal), FILE
// receives 640 x 480 native 32-bit pixels. Run where data/ is.
int main(int argc, char **argv) {
    if (argc != 3) {
        std::fputs("usage: capture_still TIME FILE\n", stderr);
        return 2;
    }
    still_time = static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10));
    demo::nogfx = true;
    demo::nosound = true;
    if (!demo::gfxinit(640, 480))
        return 1;
    demo::do_init();
    demo::time_source = read_still_time;
    const int over = demo::do_frame();
    std::FILE *out = std::fopen(argv[2], "wb");
    if (!out || std::fwrite(demo::frame, 4, 640 * 480, out) != 640 * 480 || std::fclose(out) != 0) {
        std::perror(argv[2]);
        return 1;
    }
    return over;
}
