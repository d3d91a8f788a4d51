// The demo clock: the time of day less the show's start, packed into seconds and microseconds.
#include "demo/clock.h"

#include <sys/time.h>

namespace demo {

std::time_t starttime = 0;
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

} // namespace demo
