// Test program of the desktop presenter: shows a known frame until a line arrives on standard
// input.
//
// desktop-driver FRAME-FILE
// Writes the frame it shows (640 x 480 pixels 0x00RRGGBB, host order) to
// FRAME-FILE, opens the presenter, shows the frame until a line arrives on
// standard input (printing "shown" after the first ten updates), then closes
// and prints "closed". Escape or the window manager's close end it through
// the quit hook instead ("escape", status 1).
#include "ptc/ptc.h"
#include "tests/support/known_frame.h"

#include <cstdio>
#include <poll.h>
#include <unistd.h>
#include <vector>

void ptc_cleanup_callback() {
    std::puts("escape");
    _exit(1);
}

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fputs("usage: desktop-driver FRAME-FILE\n", stderr);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    const int width = 640, height = 480;
    std::vector<unsigned> frame = vorbo_test::known_frame(width, height);
    if (FILE *file = std::fopen(argv[1], "wb")) {
        std::fwrite(frame.data(), sizeof(unsigned), frame.size(), file);
        std::fclose(file);
    }

    if (!ptc_open("Vorbo returns", width, height)) {
        std::puts("open failed");
        return 1;
    }
    for (int updates = 0;; ++updates) {
        ptc_update(frame.data());
        if (updates == 10)
            std::puts("shown");
        pollfd in = {STDIN_FILENO, POLLIN, 0};
        if (updates >= 10 && poll(&in, 1, 0) > 0)
            break;
    }
    ptc_close();
    std::puts("closed");
    return 0;
}
