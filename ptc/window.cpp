// Windowed presenter: a fixed-size X window shown through an MIT-SHM shared-memory image.
#include "ptc/ptc.h"
#include "ptc/x11_shared.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

// The window's own state, from ptc_open to ptc_close (the display, its pixel
// layout and converter are the core's, in x11_shared.cpp).
static int ptc_screen_width, ptc_screen_height;
static Window ptc_window;
static int ptc_x_position, ptc_y_position;
static XSetWindowAttributes ptc_window_attributes;
static XSizeHints ptc_window_sizehints;
static GC ptc_window_gc;
static XImage *ptc_ximage;
static XShmSegmentInfo ptc_shm_segment;

// Undoes, in reverse order, whatever the open has taken so far: the image,
// the window, the display. The failure exit of the open, and the close.
static void release() {
    if (ptc_ximage) {
        ptc_destroy_shared_image(ptc_ximage, ptc_shm_segment);
        ptc_ximage = nullptr;
    }
    if (ptc_window) {
        XDestroyWindow(ptc_display, ptc_window);
        ptc_window = 0;
    }
    if (ptc_display)
        ptc_close_display();
}

int ptc_open(const char *title, int width, int height) {
    if (!ptc_open_shared_memory_display())
        return 0;

    ptc_screen_width = DisplayWidth(ptc_display, ptc_screen);
    ptc_screen_height = DisplayHeight(ptc_display, ptc_screen);
    ptc_root_window = RootWindow(ptc_display, ptc_screen);
    ptc_x_position = 0;
    ptc_y_position = 0;

    ptc_window_attributes.background_pixel = BlackPixel(ptc_display, ptc_screen);
    ptc_window_attributes.border_pixel = BlackPixel(ptc_display, ptc_screen);
    ptc_window_attributes.backing_store = NotUseful;
    ptc_window =
        XCreateWindow(ptc_display, ptc_root_window, ptc_x_position, ptc_y_position, width, height,
                      0, ptc_depth, InputOutput, ptc_visual,
                      CWBackPixel | CWBorderPixel | CWBackingStore, &ptc_window_attributes);
    XStoreName(ptc_display, ptc_window, title);
    XSelectInput(ptc_display, ptc_window, KeyPressMask | KeyReleaseMask);

    ptc_window_sizehints.flags = PPosition | PMinSize | PMaxSize;
    ptc_window_sizehints.x = 0;
    ptc_window_sizehints.y = 0;
    ptc_window_sizehints.min_width = ptc_window_sizehints.max_width = width;
    ptc_window_sizehints.min_height = ptc_window_sizehints.max_height = height;
    XSetWMNormalHints(ptc_display, ptc_window, &ptc_window_sizehints);

    // The window manager's close button ends the show as Escape does; without
    // this a viewer who closes the window gets an X I/O error.
    ptc_close_atom = XInternAtom(ptc_display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(ptc_display, ptc_window, &ptc_close_atom, 1);

    XClearWindow(ptc_display, ptc_window);
    XMapRaised(ptc_display, ptc_window);
    XFlush(ptc_display);

    ptc_window_gc = DefaultGC(ptc_display, ptc_screen);

    ptc_ximage = ptc_create_shared_image(width, height, ptc_shm_segment);
    if (!ptc_ximage) {
        release();
        return 0;
    }

    ptc_viewport_width = width;
    ptc_viewport_height = height;
    return 1;
}

int ptc_update(void *frame) {
    // Rows are stepped by the image's own row length, which the server may
    // pad beyond width x bytes per pixel.
    ptc_convert_frame(frame, ptc_ximage->data, ptc_ximage->bytes_per_line);

    // Retire the previous frame's transfer before sending this one.
    XSync(ptc_display, False);
    XShmPutImage(ptc_display, ptc_window, ptc_window_gc, ptc_ximage, 0, 0, 0, 0, ptc_viewport_width,
                 ptc_viewport_height, False);
    return ptc_finish_update();
}

void ptc_close() {
    release();
}
