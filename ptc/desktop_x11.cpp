// vorbo-desktop on X11: opens and closes the window, reads its events, and paces the show by the
// display.
//
// Nothing about the screen is changed: no video mode, no direct video, no
// privilege. The window covers one monitor (desktop_x11_window.cpp) and the
// frame is laid out again whenever the window's size or the screen's
// monitors change (desktop_x11_frame.cpp). While the window is unmapped or
// wholly covered, no frame is drawn or shown.
#include "ptc/desktop_x11.h"

#include "ptc/desktop_backend.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <algorithm>
#include <cstdlib>
#include <poll.h>

ptc_x11_desktop_s ptc_x11;

namespace {

// Undoes, in reverse order, whatever the open got to; the state is zero again.
void release() {
    if (!ptc_display)
        return;
    ptc_x11_release_frame();
    ptc_x11_release_window();
    ptc_close_display();
    ptc_x11 = ptc_x11_desktop_s();
}

bool shown() {
    return ptc_x11.mapped && !ptc_x11.obscured;
}

// One event: what it changes of the window and the frame's layout, and
// whether the viewer asked to quit.
bool take_event(XEvent &event) {
    const int randr = ptc_x11.randr_event_base;
    switch (event.type) {
    case KeyPress:
        switch (ptc_desktop_key(XLookupKeysym(&event.xkey, 0))) {
        case ptc_key_action::quit:
            return true;
        case ptc_key_action::toggle_window:
            ptc_x11_toggle_full_screen();
            break;
        case ptc_key_action::none:
            break;
        }
        return false;
    case ClientMessage:
        return static_cast<Atom>(event.xclient.data.l[0]) == ptc_close_atom;
    case ConfigureNotify:
        if (event.xconfigure.window == ptc_x11.window &&
            (event.xconfigure.width != ptc_x11.width ||
             event.xconfigure.height != ptc_x11.height)) {
            ptc_x11.width = event.xconfigure.width;
            ptc_x11.height = event.xconfigure.height;
            ptc_x11.layout_stale = true;
        }
        return false;
    case MapNotify:
        ptc_x11.mapped = true;
        ptc_x11.repaint_all = true;
        return false;
    case UnmapNotify:
        ptc_x11.mapped = false;
        return false;
    case VisibilityNotify:
        ptc_x11.obscured = event.xvisibility.state == VisibilityFullyObscured;
        return false;
    case Expose:
        ptc_x11.repaint_all = true;
        return false;
    case PropertyNotify:
        if (event.xproperty.atom == ptc_x11.wm_state)
            ptc_x11_note_window_state();
        return false;
    default:
        break;
    }
    if (randr && event.type == randr + RRScreenChangeNotify) {
        XRRUpdateConfiguration(&event);
        ptc_x11_follow_monitors();
    } else if (randr && event.type == randr + RRNotify) {
        ptc_x11_follow_monitors();
    } else if (ptc_x11_is_completion(event)) {
        ptc_x11_note_completion(event);
    }
    return false;
}

// Reads every event that has arrived. true when the viewer asked to quit.
bool read_events() {
    bool quit = false;
    // XPending also flushes the requests.
    while (XPending(ptc_display)) {
        XEvent event;
        XNextEvent(ptc_display, &event);
        quit |= take_event(event);
    }
    return quit;
}

// The quit contract: the screen saver let go (the hook may end the process),
// the program's hook, and if that returns, the close and exit status 0.
void quit_show() {
    ptc_x11_release_screen_saver();
    ptc_cleanup_callback();
    ptc_close();
    std::exit(0);
}

void read_events_or_quit() {
    if (read_events())
        quit_show();
}

// Reads events until the window is shown again or the deadline passes,
// sleeping on the connection meanwhile. true when shown.
bool await_shown(std::int64_t deadline) {
    for (;;) {
        read_events_or_quit();
        if (shown())
            return true;
        const std::int64_t left = deadline - ptc_monotonic_ns();
        if (left <= 0)
            return false;
        pollfd connection = {ConnectionNumber(ptc_display), POLLIN, 0};
        poll(&connection, 1, static_cast<int>((left + 999999) / 1000000));
    }
}

int open_x11(const char *title, int width, int height) {
    if (!ptc_open_shared_memory_display())
        return 0;
    ptc_x11.frame_width = width;
    ptc_x11.frame_height = height;
    ptc_root_window = RootWindow(ptc_display, ptc_screen);
    if (!ptc_x11_make_window(title) || !ptc_x11_start_frame()) {
        release();
        return 0;
    }
    XSync(ptc_display, False);
    ptc_viewport_width = width;
    ptc_viewport_height = height;
    return 1;
}

int update_x11(void *frame) {
    // The pixels of the frame before must have been read before they are
    // overwritten: shown, when presented, else put into the window.
    if (ptc_x11.present_opcode)
        ptc_x11_await_presentation(250);
    else
        XSync(ptc_display, False);
    read_events_or_quit();
    // A caller that does not wait for frames is held here while hidden.
    if (!shown() && !await_shown(ptc_monotonic_ns() + std::int64_t(100) * 1000000))
        return 1;
    if (ptc_x11.layout_stale)
        ptc_x11_lay_out();
    if (ptc_x11.image)
        ptc_x11_show(frame);
    read_events_or_quit();
    return 1;
}

int process_events_x11() {
    return read_events() ? 1 : 0;
}

void close_x11() {
    release();
}

// Paced by the display: the next frame is wanted once the one before has
// been shown (without Present, at once), and never while the window is
// hidden.
bool wait_for_frame_x11(int timeout_ms) {
    const std::int64_t deadline = ptc_monotonic_ns() + std::int64_t(timeout_ms) * 1000000;
    for (;;) {
        if (!await_shown(deadline))
            return false;
        if (ptc_x11.pending == 0)
            return true;
        const std::int64_t left = deadline - ptc_monotonic_ns();
        if (left <= 0)
            return false;
        ptc_x11_await_presentation(static_cast<int>((left + 999999) / 1000000));
        if (ptc_x11.pending > 0 && ptc_monotonic_ns() >= deadline)
            return false;
    }
}

// A frame presented now is shown at the first refresh after the one that
// showed the last frame which is still ahead.
std::int64_t next_frame_time_x11() {
    if (!ptc_x11.present_opcode || !ptc_x11.shown_ns || !ptc_x11.refresh_ns)
        return 0;
    const std::int64_t now = ptc_monotonic_ns();
    std::int64_t next = ptc_x11.shown_ns + ptc_x11.refresh_ns;
    if (next <= now)
        next += ((now - next) / ptc_x11.refresh_ns + 1) * ptc_x11.refresh_ns;
    return next;
}

} // namespace

const ptc_desktop_backend ptc_desktop_x11 = {
    "X11",     open_x11,           update_x11,         process_events_x11,
    close_x11, wait_for_frame_x11, next_frame_time_x11};
