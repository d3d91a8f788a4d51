// The event check shared by both presenter back-ends: one event per call.
#include "ptc/events.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

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
