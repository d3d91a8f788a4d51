// The presenter core the X back-ends share: display, pixel layout and converter, row loop, events.
#include "ptc/x11_shared.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <csignal>
#include <cstdlib>

Display *ptc_display;
int ptc_screen;
int ptc_viewport_width, ptc_viewport_height;
int ptc_depth;
Window ptc_root_window;
Visual *ptc_visual;
int ptc_pixmap_format_count;
int ptc_converter_depth;
int ptc_output_pitch;
int ptc_blitcounter;
int ptc_source_index, ptc_destination_index;
Atom ptc_close_atom;
XPixmapFormatValues *ptc_pixmap_formats;
ptc_converter_t ptc_convert;

void ptc_ignore_broken_pipe() {
    struct sigaction current;
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        std::signal(SIGPIPE, SIG_IGN);
}

int ptc_open_display() {
    ptc_ignore_broken_pipe();
    ptc_display = XOpenDisplay(nullptr);
    if (!ptc_display)
        return 0;

    ptc_screen = DefaultScreen(ptc_display);
    ptc_visual = DefaultVisual(ptc_display, ptc_screen);
    ptc_depth = DefaultDepth(ptc_display, ptc_screen);

    ptc_converter_depth = 0;
    ptc_pixmap_formats = XListPixmapFormats(ptc_display, &ptc_pixmap_format_count);
    for (int i = 0; ptc_pixmap_formats && i < ptc_pixmap_format_count; ++i)
        if (ptc_pixmap_formats[i].depth == ptc_depth)
            ptc_converter_depth = ptc_pixmap_formats[i].bits_per_pixel;
    if (ptc_pixmap_formats)
        XFree(ptc_pixmap_formats);
    ptc_pixmap_formats = nullptr;

    ptc_convert = ptc_request_converter(ptc_converter_depth, ptc_visual->red_mask,
                                        ptc_visual->green_mask, ptc_visual->blue_mask);
    if (!ptc_convert) {
        ptc_close_display();
        return 0;
    }
    // 16 -> 2, 24 -> 3, 32 -> 4: the only sizes a converter exists for.
    ptc_output_pitch = ptc_converter_depth / 8;
    return 1;
}

void ptc_close_display() {
    XCloseDisplay(ptc_display);
    ptc_display = nullptr;
}

void ptc_convert_frame(void *frame, char *destination, int destination_pitch) {
    char *source = static_cast<char *>(frame);
    ptc_source_index = 0;
    ptc_destination_index = 0;
    for (ptc_blitcounter = 0; ptc_blitcounter < ptc_viewport_height; ++ptc_blitcounter) {
        ptc_convert(source + ptc_source_index, destination + ptc_destination_index,
                    ptc_viewport_width);
        ptc_source_index += ptc_viewport_width * 4;
        ptc_destination_index += destination_pitch;
    }
}

// One event per call, so per presented frame: an Escape queued behind other
// events takes effect when its turn comes.
int ptc_process_events() {
    // XPending also flushes the output buffer.
    if (!XPending(ptc_display))
        return 0;
    XEvent event;
    XNextEvent(ptc_display, &event);
    // Index 0 is the unshifted keysym, so Shift+Escape counts too.
    if (event.type == KeyPress && XLookupKeysym(&event.xkey, 0) == XK_Escape)
        return 1;
    if (ptc_close_atom != None && event.type == ClientMessage &&
        static_cast<Atom>(event.xclient.data.l[0]) == ptc_close_atom)
        return 1;
    return 0;
}

int ptc_finish_update() {
    if (ptc_process_events()) {
        ptc_cleanup_callback();
        ptc_close();
        std::exit(0);
    }
    return 1;
}
