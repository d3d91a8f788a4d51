// The capture's command line and the packed clock reading of each captured frame.
#include "tools/capture/capture.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace capture {

namespace {

// A whole decimal number with nothing around it: no sign other than a leading
// minus, no spaces, no hex, no trailing letters.
bool parse_int(const char *text, long &value) {
    if (!*text || std::strchr(" \t\n+", *text))
        return false;
    errno = 0;
    char *end = nullptr;
    value = std::strtol(text, &end, 10);
    return errno == 0 && *end == '\0';
}

} // namespace

std::string usage() {
    return "usage: vorbo-capture [-o FILE] [-fps N] [-codec h264|ffv1] [-clock "
           "continuous|stepped]\n"
           "  -o FILE      output file (default vorbo-returns.mp4, or .mkv for ffv1)\n"
           "  -fps N       frames per second, 1 to 1000 (default 60)\n"
           "  -codec NAME  h264: H.264 and AAC, for watching (default);\n"
           "               ffv1: lossless FFV1 and FLAC, for exact comparison\n"
           "  -clock NAME  continuous: the meshes move evenly, as vorbo-desktop plays\n"
           "               them (default); stepped: the demo clock of vorbo-window and\n"
           "               the others, with its step at every second: their frames\n"
           "It reads the show's media from data/ in the current directory, or else from\n"
           "the installed show's; FILE is named from the current directory.\n";
}

const char *default_output(codec video) {
    return video == codec::ffv1 ? "vorbo-returns.mkv" : "vorbo-returns.mp4";
}

bool parse_options(int argc, char **argv, options &opt, std::string &error) {
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "-help" || arg == "--help") {
            opt.help = true;
            continue;
        }
        if (arg != "-o" && arg != "-fps" && arg != "-codec" && arg != "-clock") {
            error = "vorbo-capture: unknown option '" + arg + "' (try -h)";
            return false;
        }
        if (i + 1 >= argc) {
            error = "vorbo-capture: " + arg + " needs a value";
            return false;
        }
        const char *value = argv[++i];
        if (arg == "-o") {
            if (!*value) {
                error = "vorbo-capture: -o needs a file name";
                return false;
            }
            opt.output = value;
        } else if (arg == "-fps") {
            long fps = 0;
            if (!parse_int(value, fps) || fps < min_fps || fps > max_fps) {
                error = "vorbo-capture: bad number '" + std::string(value) +
                        "' for -fps (a whole number from 1 to 1000)";
                return false;
            }
            opt.fps = static_cast<int>(fps);
        } else if (arg == "-clock") {
            if (std::strcmp(value, "continuous") == 0) {
                opt.clock = frame_clock::continuous;
            } else if (std::strcmp(value, "stepped") == 0) {
                opt.clock = frame_clock::stepped;
            } else {
                error = "vorbo-capture: unknown clock '" + std::string(value) +
                        "' (continuous or stepped)";
                return false;
            }
        } else {
            if (std::strcmp(value, "h264") == 0) {
                opt.video = codec::h264;
            } else if (std::strcmp(value, "ffv1") == 0) {
                opt.video = codec::ffv1;
            } else {
                error = "vorbo-capture: unknown codec '" + std::string(value) + "' (h264 or ffv1)";
                return false;
            }
        }
    }
    return true;
}

unsigned packed_time(long long k, int fps) {
    const long long seconds = k / fps;
    // (k mod fps) / fps of a second, rounded down to a microsecond: always
    // below 1,000,000, so the low field never reaches the next second.
    const long long micros = (k % fps) * 1000000LL / fps;
    return (static_cast<unsigned>(seconds) << 20) | static_cast<unsigned>(micros);
}

unsigned continuous_time(long long k, int fps) {
    return static_cast<unsigned>(static_cast<unsigned long long>(k) * (1ULL << 20) /
                                 static_cast<unsigned long long>(fps));
}

unsigned frame_time(long long k, int fps, frame_clock clock) {
    return clock == frame_clock::stepped ? packed_time(k, fps) : continuous_time(k, fps);
}

} // namespace capture
