// The skeleton of the presenter test programs: their start, the known frame, the open, the quit
// hook.
//
// Each program links presenter_driver.cpp, which defines the program's quit
// hook ptc_cleanup_callback: it prints "escape" and ends the process at once
// with status 1.
#pragma once

#include <cstddef>
#include <vector>

namespace vorbo_test {

// The size of the frame every presenter test program shows.
constexpr int driver_width = 640;
constexpr int driver_height = 480;

// The start of a presenter test program taking arguments arguments: with any
// other count it prints usage on standard error and ends with status 2.
// Otherwise it makes standard output unbuffered (a presenter may split the
// process, and a buffer would be copied into both halves) and returns the
// known frame (tests/support/known_frame.h) to show.
std::vector<unsigned> start_driver(int argc, int arguments, const char *usage);

// Opens the presenter with title for the frame: true when it is open, else
// prints "open failed" and returns false.
bool open_presenter(const char *title);

// Writes size bytes to path; nothing when the file cannot be created.
void write_file(const char *path, const void *bytes, std::size_t size);

} // namespace vorbo_test
