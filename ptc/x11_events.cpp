// The event check of the window and full-screen presenters: one event per frame, Escape quits.
#include "ptc/x11_shared.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdlib>

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
