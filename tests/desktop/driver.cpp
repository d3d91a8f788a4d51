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
#include "tests/support/presenter_driver.h"

#include <cstdio>
#include <poll.h>
#include <unistd.h>
#include <vector>

int main(int argc, char **argv) {
    std::vector<unsigned> frame =
        vorbo_test::start_driver(argc, 1, "usage: desktop-driver FRAME-FILE\n");
    vorbo_test::write_file(argv[1], frame.data(), frame.size() * sizeof(unsigned));

    if (!vorbo_test::open_presenter("Vorbo returns"))
        return 1;
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
