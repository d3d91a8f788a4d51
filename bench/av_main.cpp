// vorbo-av-sync: records a sink, watches the screen, and prints the music's offset against the
// picture.
#include "bench/av_sync.h"

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    if (argc >= 2 && std::strcmp(argv[1], "record") == 0)
        return av_sync::record(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "watch") == 0)
        return av_sync::watch(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "offsets") == 0)
        return av_sync::offsets(argc - 2, argv + 2);
    std::fprintf(stderr, "usage: vorbo-av-sync record|watch|offsets ... (see bench/av_sync.sh)\n");
    return 2;
}
