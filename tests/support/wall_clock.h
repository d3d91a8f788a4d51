// The wall clock's whole seconds, read as gfxinit reads them for the demo clock's origin.
#pragma once

#include <ctime>
#include <sys/time.h>

namespace vorbo_test {

inline std::time_t wall_seconds() {
    timeval now;
    gettimeofday(&now, nullptr);
    return now.tv_sec;
}

} // namespace vorbo_test
