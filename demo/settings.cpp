// The banner, the switches and their flags, and the title.
#include "demo/settings.h"

#include <cstdio>
#include <cstring>

namespace demo {

bool nogfx = false;
bool nosound = false;
std::string demoname = "Vorbo returns";

void print_banner() {
    std::printf("%s, by the Vorbo crew <vorbo@users.noreply.example>\n", demoname.c_str());
}

bool read_switches(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-nosound") == 0) {
            nosound = true;
        } else if (std::strcmp(argv[i], "-nogfx") == 0) {
            nogfx = true;
        } else {
            std::fprintf(stderr, "Unknown switch %s\n", argv[i]);
            return false;
        }
    }
    return true;
}

} // namespace demo
