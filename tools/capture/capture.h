// Offline capture of the show: options, the frame clock, and the whole render into a video file.
#pragma once

#include "demo/demo.h"

#include <string>

namespace capture {

// Video codecs the capture offers. h264 goes into MP4 with AAC sound and plays
// everywhere; ffv1 goes into Matroska with FLAC sound and keeps every pixel and
// sample exactly, for comparisons.
enum class codec { h264, ffv1 };

// The clock the frames are drawn on. continuous: the show's time runs evenly,
// as vorbo-desktop plays it (the meshes move without a step). stepped: the
// demo clock of the four other programs, microseconds within each second,
// with its step at every second boundary: their frames exactly.
enum class frame_clock { continuous, stepped };

struct options {
    std::string output; // empty: default_output(video)
    int fps = 60;
    codec video = codec::h264;
    frame_clock clock = frame_clock::continuous;
    bool help = false; // -h: print usage() and do nothing else
};

// The show is captured from second 0 to its end.
constexpr int show_seconds = static_cast<int>(demo::show_seconds);
constexpr int sample_rate = 44100;
constexpr int min_fps = 1;
constexpr int max_fps = 1000;

// Reads the arguments after the program name. On a refusal returns false and
// sets error to a one-line message without the newline.
bool parse_options(int argc, char **argv, options &opt, std::string &error);

std::string usage();
const char *default_output(codec video);

// The packed demo time of the instant k / fps: whole seconds in bits 31-20,
// microseconds within that second in bits 19-0 (truncated to a whole
// microsecond). Across a second boundary the value steps by 48,577 more than a
// microsecond, just as the live clock does.
unsigned packed_time(long long k, int fps);

// The show's time of the instant k / fps with no step: whole seconds in bits
// 31-20 and 2^20ths of a second below (truncated), as vorbo-desktop reads it.
unsigned continuous_time(long long k, int fps);

// The time of frame k on the chosen clock.
unsigned frame_time(long long k, int fps, frame_clock clock);

// Renders the show through the timeline in the working directory (media under
// data/) into opt.output. Prints progress and, on failure, one line on standard
// error. Returns the process exit status: 0 on success, 1 on failure. The final
// name only ever holds a complete file.
int run(const options &opt);

} // namespace capture
