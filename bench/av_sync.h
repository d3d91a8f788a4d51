// The lip-sync measurement (bench/av_sync.sh): its recorder, its screen watcher and its analysis.
#pragma once

#include <cstdint>
#include <ctime>

namespace av_sync {

// vorbo-av-sync record SOURCE PCM_FILE TIMES_FILE
int record(int argc, char **argv);
// vorbo-av-sync watch LOG_FILE
int watch(int argc, char **argv);
// vorbo-av-sync offsets PCM_FILE TIMES_FILE WATCH_LOG MODULE
int offsets(int argc, char **argv);

// CLOCK_MONOTONIC now, in nanoseconds.
inline std::int64_t now_ns() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

} // namespace av_sync
