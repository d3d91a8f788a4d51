// The DGA library's video-memory calls, as the full-screen presenter uses them by default.
#include "ptc/dga_video.h"

#include "ptc/x11_shared.h"

#include <X11/extensions/xf86dga1.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The library maps the video memory from the memory device and, when it
// cannot, reports that and ends the process itself. The same mapping is
// tried first, so that the open can fail instead, with the reason, and the
// screen untouched.
Status get_video(Display *display, int screen, char **address, int *width, int *banksize,
                 int *memory) {
    unsigned int base = 0;
    int line_width = 0, bank = 0, ram = 0;
    // A driver without direct video answers with an error, which would end
    // the process through Xlib's default handler.
    ptc_catch_x_errors(display);
    const Status told = XF86DGAGetVideoLL(display, screen, &base, &line_width, &bank, &ram);
    const bool refused = ptc_x_errors_caught(display);
    if (!told || refused || bank <= 0) {
        ptc_fail_because("the X server's video driver gives no direct access to its video memory");
        return 0;
    }
    const int device = open("/dev/mem", O_RDWR | O_CLOEXEC);
    if (device < 0) {
        ptc_fail_because("cannot open /dev/mem to map the video memory: %s", std::strerror(errno));
        return 0;
    }
    void *trial = mmap(nullptr, static_cast<size_t>(bank), PROT_READ | PROT_WRITE, MAP_SHARED,
                       device, static_cast<off_t>(base));
    const int error = errno;
    close(device);
    if (trial == MAP_FAILED) {
        ptc_fail_because("cannot map the video memory (%d bytes at %#x of /dev/mem): %s", bank,
                         base, std::strerror(error));
        return 0;
    }
    munmap(trial, static_cast<size_t>(bank));
    return XF86DGAGetVideo(display, screen, address, width, banksize, memory);
}

} // namespace

// Initialised before any constructor runs, so a test program's own
// initialiser may overwrite it whatever the link order.
ptc_dga_video_s ptc_dga_video = {get_video, XF86DGADirectVideo, XF86DGASetViewPort,
                                 XF86DGAGetViewPortSize, XF86DGAForkApp};
