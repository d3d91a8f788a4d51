// vorbo-capture: renders the show offline into a video file with its soundtrack.
#include "tools/capture/capture.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv) {
    capture::options opt;
    std::string error;
    if (!capture::parse_options(argc - 1, argv + 1, opt, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    if (opt.help) {
        std::fputs(capture::usage().c_str(), stdout);
        return 0;
    }
    return capture::run(opt);
}
