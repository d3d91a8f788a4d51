// xmgen: writes the show's soundtrack module to the file named on the command line.
#include "tools/xmgen/song.h"
#include "tools/xmgen/xm_writer.h"

#include <cstdio>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.xm\n", argv[0]);
        return 2;
    }
    std::vector<std::uint8_t> bytes = xm::write(xmgen::song());
    if (bytes.empty()) {
        std::fprintf(stderr, "xmgen: the song does not fit the XM format\n");
        return 1;
    }
    std::FILE *f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::perror(argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
