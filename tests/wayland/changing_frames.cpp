// Test program of the desktop presenter: frames that change by bands of rows, then a last one held.
//
// changing-frames FRAME-FILE
// Shows 60 frames, each the known frame with a band of rows (a different
// place and length each time) replaced by its bitwise complement, so that the
// buffers the presenter reuses hold frames that differ from the next one in
// some rows and not others; then writes the last frame shown to FRAME-FILE
// (640 x 480 pixels 0x00RRGGBB, host order), prints "shown", and shows it
// until a line arrives on standard input.
#include "ptc/desktop.h"
#include "tests/support/presenter_driver.h"

#include <cstdio>
#include <poll.h>
#include <unistd.h>
#include <vector>

int main(int argc, char **argv) {
    const std::vector<unsigned> known =
        vorbo_test::start_driver(argc, 1, "usage: changing-frames FRAME-FILE\n");
    const int width = vorbo_test::driver_width, height = vorbo_test::driver_height;
    std::vector<unsigned> frame = known;
    if (!vorbo_test::open_presenter("Vorbo returns"))
        return 1;
    for (int i = 0; i < 60; ++i) {
        frame = known;
        const int first = (i * 97) % height, rows = 1 + (i * 31) % 150;
        for (int r = first; r < first + rows && r < height; ++r)
            for (int x = 0; x < width; ++x)
                frame[r * width + x] = ~frame[r * width + x];
        ptc_wait_for_frame(1000);
        ptc_update(frame.data());
    }
    vorbo_test::write_file(argv[1], frame.data(), frame.size() * sizeof(unsigned));
    std::puts("shown");
    for (;;) {
        pollfd in = {STDIN_FILENO, POLLIN, 0};
        if (poll(&in, 1, 0) > 0)
            break;
        ptc_wait_for_frame(100);
        ptc_update(frame.data());
    }
    ptc_close();
    return 0;
}
