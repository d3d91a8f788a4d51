// X pieces both presenter back-ends share: the display's pixel size and the event check.
#include "ptc/x11_shared.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <csignal>

int ptc_pixmap_bits_per_pixel(Display *display, int depth, XPixmapFormatValues **formats,
                              int *count) {
    int bits_per_pixel = 0;
    *formats = XListPixmapFormats(display, count);
    for (int i = 0; *formats && i < *count; ++i)
        if ((*formats)[i].depth == depth)
            bits_per_pixel = (*formats)[i].bits_per_pixel;
    if (*formats)
        XFree(*formats);
    *formats = nullptr;
    return bits_per_pixel;
}

void ptc_ignore_broken_pipe() {
    struct sigaction current;
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        std::signal(SIGPIPE, SIG_IGN);
}

// One event per call, so per presented frame: an Escape queued behind other
// events takes effect when its turn comes.
int ptc_take_event(Display *display, Atom close_atom) {
    // XPending also flushes the output buffer.
    if (!XPending(display))
        return 0;
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == KeyPress && XLookupKeysym(&event.xkey, 0) == XK_Escape)
        return 1;
    if (close_atom != 0 && event.type == ClientMessage &&
        static_cast<Atom>(event.xclient.data.l[0]) == close_atom)
        return 1;
    return 0;
}
