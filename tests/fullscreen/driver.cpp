// Test program of the full-screen presenter: opens it, shows a known frame, closes or waits for
// Escape.
//
// fullscreen-driver REFERENCE UPDATES close|hold|wait
// After the open it writes the converter's output for each row of the frame
// to REFERENCE (rows of 640 * 4 bytes, the unused tail zero), then shows the
// frame UPDATES times and prints "shown". "close" then closes the presenter
// and prints "closed"; "hold" does the same once a line arrives on standard
// input; "wait" goes on showing the frame until Escape (or 30 s, then "timeout").
#include "ptc/ptc.h"
#include "tests/support/presenter_driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace {

const int width = vorbo_test::driver_width, height = vorbo_test::driver_height;

} // namespace

int main(int argc, char **argv) {
    std::vector<unsigned> frame = vorbo_test::start_driver(
        argc, 3, "usage: fullscreen-driver REFERENCE UPDATES close|hold|wait\n");
    bool wait = std::strcmp(argv[3], "wait") == 0;

    if (!vorbo_test::open_presenter("driver"))
        return 1;
    std::puts("open");
    uid_t real, effective, saved;
    if (getresuid(&real, &effective, &saved) == 0)
        std::printf("ids %d %d %d\n", static_cast<int>(real), static_cast<int>(effective),
                    static_cast<int>(saved));

    std::vector<unsigned char> reference(static_cast<size_t>(width) * 4 * height, 0);
    for (int y = 0; y < height; ++y)
        ptc_convert(&frame[static_cast<size_t>(y) * width],
                    &reference[static_cast<size_t>(y) * width * 4], width);
    vorbo_test::write_file(argv[1], reference.data(), reference.size());

    int updates = std::atoi(argv[2]);
    for (int i = 0; i < updates; ++i)
        ptc_update(frame.data());
    std::puts("shown");

    if (wait) {
        time_t end = std::time(nullptr) + 30;
        while (std::time(nullptr) < end) {
            ptc_update(frame.data());
            usleep(10000);
        }
        std::puts("timeout");
        ptc_close();
        return 3;
    }
    if (std::strcmp(argv[3], "hold") == 0) {
        char line[16];
        if (!std::fgets(line, sizeof line, stdin))
            std::puts("no line");
    }
    ptc_close();
    std::puts("closed");
    return 0;
}
