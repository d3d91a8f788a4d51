// The demo clock: packed seconds and microseconds since the show started.
#pragma once

#include <ctime>

namespace demo {

// Origin of the demo clock: whole seconds since the epoch when gfxinit finished.
extern std::time_t starttime;

// Demo time: whole seconds since starttime (mod 4096) in bits 31-20,
// microseconds within the second (0..999999) in bits 19-0.
unsigned time();

// Offline rendering replaces the wall clock: while this is set, time()
// returns its result instead of reading the time of day.
extern unsigned (*time_source)();

} // namespace demo
