// The event check shared by both presenter back-ends.
#pragma once

#include <X11/Xlib.h>

// Takes at most one pending event from display: 1 when it was a press of
// Escape (unshifted keysym, so Shift+Escape counts too), else 0. Also 1 when
// close_atom is non-zero and the event is a ClientMessage carrying it (the
// window manager's close button).
int ptc_take_event(Display *display, Atom close_atom);
