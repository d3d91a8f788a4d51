// What every output shares: the monotonic clock and the output thread's scheduling.
#include "sound/output.h"

#include <ctime>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace sound {

std::int64_t monotonic_ns() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void raise_output_thread() {
    const pid_t thread = static_cast<pid_t>(syscall(SYS_gettid));
    // A low real-time priority, not inherited by processes started from this
    // thread. The thread's work per wake-up is bounded (a few milliseconds of
    // music), so it can never hold a core.
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 4;
    if (sched_setscheduler(thread, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0)
        return;
    // Else as high a nice level as the limits allow (RLIMIT_NICE); none
    // leaves it as it was.
    for (int nice = -11; nice < 0; ++nice)
        if (setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice) == 0)
            return;
}

} // namespace sound
