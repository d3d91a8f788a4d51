// The frame buffer, the switches' flags and the packed demo clock.
#include "demo/demo.h"

#include <algorithm>
#include <sys/time.h>

namespace demo {

unsigned *frame = nullptr;
unsigned **frame_lines = nullptr;
int xres = 0;
int yres = 0;
std::time_t starttime = 0;
bool nogfx = false;
bool nosound = false;
unsigned (*time_source)() = nullptr;

unsigned time() {
    if (time_source)
        return time_source();
    timeval now;
    gettimeofday(&now, nullptr);
    // Unsigned arithmetic: a clock set back before starttime wraps the
    // seconds field (one second before reads as 4095).
    unsigned seconds = static_cast<unsigned>(now.tv_sec) - static_cast<unsigned>(starttime);
    return (seconds << 20) | static_cast<unsigned>(now.tv_usec);
}

void clear(unsigned value) {
    std::fill(frame, frame + 640 * 480, value);
}

} // namespace demo
