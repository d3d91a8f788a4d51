// X pieces both presenter back-ends share: the display's pixel size and the event check.
#pragma once

#include <X11/Xlib.h>

// Bits per pixel of the server's pixmap format for depth: the last entry of
// that depth in the server's list wins, 0 when there is none. The converter
// is chosen by this, not by the depth (depth 24 may be stored in 24 or 32
// bits, depth 15 in 16). *formats and *count hold the list while it is
// walked; it is freed before the return and *formats left null.
int ptc_pixmap_bits_per_pixel(Display *display, int depth, XPixmapFormatValues **formats,
                              int *count);

// Bytes per output pixel for a converter's bits per pixel (16 -> 2, 24 -> 3, 32 -> 4).
inline int ptc_bytes_per_pixel(int bits_per_pixel) {
    return bits_per_pixel / 8;
}

// Lets a lost display end the show through Xlib's I/O error handler ("X
// connection to :0 broken", status 1) rather than by SIGPIPE: a write to a
// server that has gone raises that signal before Xlib sees the error. Only a
// default disposition is changed; a handler the program installed is kept.
void ptc_ignore_broken_pipe();

// Takes at most one pending event from display: 1 when it was a press of
// Escape (unshifted keysym, so Shift+Escape counts too), else 0. Also 1 when
// close_atom is non-zero and the event is a ClientMessage carrying it (the
// window manager's close button).
int ptc_take_event(Display *display, Atom close_atom);
