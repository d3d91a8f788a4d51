// The presenter test programs' shared start, open and quit hook.
#include "tests/support/presenter_driver.h"
#include "ptc/ptc.h"
#include "tests/support/known_frame.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

void ptc_cleanup_callback() {
    std::puts("escape");
    _exit(1);
}

namespace vorbo_test {

std::vector<unsigned> start_driver(int argc, int arguments, const char *usage) {
    if (argc != arguments + 1) {
        std::fputs(usage, stderr);
        std::exit(2);
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    return known_frame(driver_width, driver_height);
}

bool open_presenter(const char *title) {
    if (ptc_open(title, driver_width, driver_height))
        return true;
    std::puts("open failed");
    return false;
}

void write_file(const char *path, const void *bytes, std::size_t size) {
    if (FILE *file = std::fopen(path, "wb")) {
        std::fwrite(bytes, 1, size, file);
        std::fclose(file);
    }
}

} // namespace vorbo_test
