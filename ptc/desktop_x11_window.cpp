// vorbo-desktop's X11 window: the monitor it covers, its properties, full screen or not, the saver
// held off.
//
// Where a window manager can make windows full screen, the window is made
// 640 x 480 in the middle of the primary monitor and asks to be full screen
// there (the manager then chooses that monitor, and gives the window back
// its 640 x 480 when f leaves full screen). Without one, the window takes
// the primary monitor's rectangle itself (the first monitor where none is
// primary, the whole screen where the server lists no monitors), out of any
// manager's hands, and the keyboard with it.
#include "ptc/desktop_x11.h"

#include "ptc/desktop_backend.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/scrnsaver.h>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "vorbo-icon-cardinals.h"

namespace {

Atom atom(const char *name) {
    return XInternAtom(ptc_display, name, False);
}

// A window manager that is running (its check window names itself) and
// lists _NET_WM_STATE_FULLSCREEN among what it supports. A manager that has
// gone can leave its properties on the root window behind.
bool window_manager_has_fullscreen() {
    auto window_property = [](Window window, Atom property, Window &value) {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char *data = nullptr;
        bool ok = XGetWindowProperty(ptc_display, window, property, 0, 1, False, XA_WINDOW, &type,
                                     &format, &count, &after, &data) == Success &&
                  type == XA_WINDOW && format == 32 && count == 1;
        if (ok)
            value = *reinterpret_cast<Window *>(data);
        if (data)
            XFree(data);
        return ok;
    };
    const Atom check = atom("_NET_SUPPORTING_WM_CHECK");
    Window manager = None, itself = None;
    // A check window that does not exist makes an error; so does asking it.
    ptc_catch_x_errors(ptc_display);
    const bool running = window_property(ptc_root_window, check, manager) &&
                         window_property(manager, check, itself) && itself == manager;
    const bool refused = ptc_x_errors_caught(ptc_display);
    if (!running || refused)
        return false;

    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    bool found = false;
    if (XGetWindowProperty(ptc_display, ptc_root_window, atom("_NET_SUPPORTED"), 0, 4096, False,
                           XA_ATOM, &type, &format, &count, &after, &data) == Success &&
        type == XA_ATOM && format == 32) {
        const Atom *atoms = reinterpret_cast<Atom *>(data);
        found = std::find(atoms, atoms + count, ptc_x11.wm_state_fullscreen) != atoms + count;
    }
    if (data)
        XFree(data);
    return found;
}

// RandR's events, and whether the server lists monitors (RandR 1.5).
void start_randr() {
    int error_base, major = 0, minor = 0;
    if (!XRRQueryExtension(ptc_display, &ptc_x11.randr_event_base, &error_base) ||
        !XRRQueryVersion(ptc_display, &major, &minor)) {
        ptc_x11.randr_event_base = 0;
        return;
    }
    ptc_x11.randr_monitors = major > 1 || (major == 1 && minor >= 5);
    int mask = RRScreenChangeNotifyMask;
    if (major > 1 || (major == 1 && minor >= 2))
        mask |= RRCrtcChangeNotifyMask | RROutputChangeNotifyMask;
    XRRSelectInput(ptc_display, ptc_root_window, mask);
}

// The primary monitor, else the first one the server lists, else the screen.
ptc_x11_rect_s primary_monitor() {
    ptc_x11_rect_s rect = {0, 0, DisplayWidth(ptc_display, ptc_screen),
                           DisplayHeight(ptc_display, ptc_screen)};
    if (!ptc_x11.randr_monitors)
        return rect;
    int count = 0;
    XRRMonitorInfo *monitors = XRRGetMonitors(ptc_display, ptc_root_window, True, &count);
    if (monitors && count > 0) {
        const XRRMonitorInfo *chosen = monitors;
        for (int i = 0; i < count; ++i)
            if (monitors[i].primary) {
                chosen = &monitors[i];
                break;
            }
        rect = {chosen->x, chosen->y, chosen->width, chosen->height};
    }
    if (monitors)
        XRRFreeMonitors(monitors);
    return rect;
}

// The window's name in both encodings, who made it, its class (the desktop
// entry's StartupWMClass), its icon, the size it keeps, and the close button.
void describe_window(const char *title) {
    XTextProperty name;
    char *name_list[] = {const_cast<char *>(title)};
    const bool named = XStringListToTextProperty(name_list, 1, &name);
    XSizeHints *size = XAllocSizeHints();
    XWMHints *wm = XAllocWMHints();
    XClassHint *class_hint = XAllocClassHint();
    if (size) {
        // The frame fits any size the window is given at scale 1 at least.
        size->flags = PPosition | USPosition | PMinSize;
        size->min_width = ptc_x11.frame_width;
        size->min_height = ptc_x11.frame_height;
    }
    if (wm) {
        wm->flags = InputHint | StateHint;
        wm->input = True;
        wm->initial_state = NormalState;
    }
    if (class_hint) {
        class_hint->res_name = const_cast<char *>("vorbo-desktop");
        class_hint->res_class = const_cast<char *>("vorbo-desktop");
    }
    // Also the host's name (WM_CLIENT_MACHINE), which _NET_WM_PID is read with.
    XSetWMProperties(ptc_display, ptc_x11.window, named ? &name : nullptr, named ? &name : nullptr,
                     nullptr, 0, size, wm, class_hint);
    if (named)
        XFree(name.value);
    XFree(size);
    XFree(wm);
    XFree(class_hint);

    const Atom utf8 = atom("UTF8_STRING");
    const int length = static_cast<int>(std::strlen(title));
    for (const char *property : {"_NET_WM_NAME", "_NET_WM_ICON_NAME"})
        XChangeProperty(ptc_display, ptc_x11.window, atom(property), utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(title), length);

    // Format 32 properties are handed to Xlib as longs, whatever their size.
    long pid = getpid();
    XChangeProperty(ptc_display, ptc_x11.window, atom("_NET_WM_PID"), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<unsigned char *>(&pid), 1);
    const std::vector<long> icon(std::begin(vorbo_icon_cardinals), std::end(vorbo_icon_cardinals));
    XChangeProperty(ptc_display, ptc_x11.window, atom("_NET_WM_ICON"), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char *>(icon.data()),
                    static_cast<int>(icon.size()));

    ptc_close_atom = atom("WM_DELETE_WINDOW");
    XSetWMProtocols(ptc_display, ptc_x11.window, &ptc_close_atom, 1);
}

// A compositing manager leaves a full-screen window alone, and copies a window.
void ask_compositor(bool bypass) {
    if (bypass) {
        long one = 1;
        XChangeProperty(ptc_display, ptc_x11.window, ptc_x11.bypass_compositor, XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<unsigned char *>(&one), 1);
    } else {
        XDeleteProperty(ptc_display, ptc_x11.window, ptc_x11.bypass_compositor);
    }
}

void hide_pointer(bool hide) {
    if (hide == ptc_x11.cursor_hidden)
        return;
    if (hide)
        XDefineCursor(ptc_display, ptc_x11.window, ptc_x11.blank_cursor);
    else
        XUndefineCursor(ptc_display, ptc_x11.window);
    ptc_x11.cursor_hidden = hide;
}

Cursor blank_cursor() {
    static const char nothing[1] = {0};
    Pixmap bitmap = XCreateBitmapFromData(ptc_display, ptc_x11.window, nothing, 1, 1);
    XColor black = XColor();
    Cursor cursor = XCreatePixmapCursor(ptc_display, bitmap, bitmap, &black, &black, 0, 0);
    XFreePixmap(ptc_display, bitmap);
    return cursor;
}

// Waits until the window is mapped (a manager maps it once it has taken it
// on), noting the sizes it is given meanwhile; other events stay queued.
bool await_map() {
    const std::int64_t deadline = ptc_monotonic_ns() + std::int64_t(5) * 1000000000;
    XEvent event;
    for (;;) {
        while (XCheckTypedWindowEvent(ptc_display, ptc_x11.window, ConfigureNotify, &event)) {
            ptc_x11.width = event.xconfigure.width;
            ptc_x11.height = event.xconfigure.height;
        }
        if (XCheckTypedWindowEvent(ptc_display, ptc_x11.window, MapNotify, &event)) {
            ptc_x11.mapped = true;
            return true;
        }
        const std::int64_t left = deadline - ptc_monotonic_ns();
        pollfd connection = {ConnectionNumber(ptc_display), POLLIN, 0};
        if (left <= 0 || poll(&connection, 1, static_cast<int>(left / 1000000) + 1) < 0)
            return false;
        XEventsQueued(ptc_display, QueuedAfterReading);
    }
}

// A window of its own, override-redirect, is mapped at once; the grab may
// still meet another client's for a moment (a menu closing), so it is tried
// for up to a second.
bool grab_keyboard() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (XGrabKeyboard(ptc_display, ptc_x11.window, False, GrabModeAsync, GrabModeAsync,
                          CurrentTime) == GrabSuccess)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

bool ptc_x11_make_window(const char *title) {
    ptc_x11.wm_state = atom("_NET_WM_STATE");
    ptc_x11.wm_state_fullscreen = atom("_NET_WM_STATE_FULLSCREEN");
    ptc_x11.bypass_compositor = atom("_NET_WM_BYPASS_COMPOSITOR");
    start_randr();
    ptc_x11.monitor = primary_monitor();
    const ptc_x11_rect_s &monitor = ptc_x11.monitor;
    if (monitor.width < ptc_x11.frame_width || monitor.height < ptc_x11.frame_height) {
        const bool whole = monitor.width == DisplayWidth(ptc_display, ptc_screen) &&
                           monitor.height == DisplayHeight(ptc_display, ptc_screen);
        ptc_fail_because("the %s is %dx%d, smaller than the %dx%d frame",
                         whole ? "screen" : "monitor", monitor.width, monitor.height,
                         ptc_x11.frame_width, ptc_x11.frame_height);
        return false;
    }

    ptc_x11.managed = window_manager_has_fullscreen();
    ptc_x11_rect_s place = monitor;
    if (ptc_x11.managed)
        place = {monitor.x + (monitor.width - ptc_x11.frame_width) / 2,
                 monitor.y + (monitor.height - ptc_x11.frame_height) / 2, ptc_x11.frame_width,
                 ptc_x11.frame_height};
    XSetWindowAttributes attributes = XSetWindowAttributes();
    attributes.background_pixel = BlackPixel(ptc_display, ptc_screen);
    attributes.border_pixel = BlackPixel(ptc_display, ptc_screen);
    attributes.backing_store = NotUseful;
    attributes.override_redirect = ptc_x11.managed ? False : True;
    attributes.event_mask = KeyPressMask | KeyReleaseMask | StructureNotifyMask | ExposureMask |
                            VisibilityChangeMask | PropertyChangeMask;
    ptc_x11.window = XCreateWindow(ptc_display, ptc_root_window, place.x, place.y, place.width,
                                   place.height, 0, ptc_depth, InputOutput, ptc_visual,
                                   CWBackPixel | CWBorderPixel | CWBackingStore |
                                       CWOverrideRedirect | CWEventMask,
                                   &attributes);
    ptc_x11.width = place.width;
    ptc_x11.height = place.height;
    describe_window(title);

    // Full screen from the start: asked of the manager, else taken.
    ptc_x11.full_screen = true;
    if (ptc_x11.managed)
        XChangeProperty(ptc_display, ptc_x11.window, ptc_x11.wm_state, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char *>(&ptc_x11.wm_state_fullscreen), 1);
    ask_compositor(true);
    ptc_x11.blank_cursor = blank_cursor();
    hide_pointer(true);

    XMapRaised(ptc_display, ptc_x11.window);
    if (!await_map()) {
        ptc_fail_because("the window manager did not show the window within 5 seconds");
        return false;
    }
    if (!ptc_x11.managed) {
        ptc_x11.keyboard_grabbed = grab_keyboard();
        if (!ptc_x11.keyboard_grabbed) {
            ptc_fail_because(
                "another program holds the keyboard, so Escape could not end the show");
            return false;
        }
    }

    // The show is watched, not typed at: no screen saver, no DPMS blanking
    // (and a saver that is on already gives way to it).
    int event_base, error_base;
    if (XScreenSaverQueryExtension(ptc_display, &event_base, &error_base)) {
        XScreenSaverSuspend(ptc_display, True);
        ptc_x11.screen_saver_suspended = true;
    }
    XResetScreenSaver(ptc_display);
    return true;
}

void ptc_x11_release_screen_saver() {
    if (!ptc_x11.screen_saver_suspended)
        return;
    XScreenSaverSuspend(ptc_display, False);
    XFlush(ptc_display);
    ptc_x11.screen_saver_suspended = false;
}

void ptc_x11_release_window() {
    ptc_x11_release_screen_saver();
    if (ptc_x11.keyboard_grabbed)
        XUngrabKeyboard(ptc_display, CurrentTime);
    if (ptc_x11.blank_cursor)
        XFreeCursor(ptc_display, ptc_x11.blank_cursor);
    if (ptc_x11.window)
        XDestroyWindow(ptc_display, ptc_x11.window);
    if (ptc_x11.randr_event_base)
        XRRSelectInput(ptc_display, ptc_root_window, 0);
}

void ptc_x11_toggle_full_screen() {
    if (!ptc_x11.managed)
        return;
    XEvent request = XEvent();
    request.xclient.type = ClientMessage;
    request.xclient.window = ptc_x11.window;
    request.xclient.message_type = ptc_x11.wm_state;
    request.xclient.format = 32;
    request.xclient.data.l[0] = 2; // _NET_WM_STATE_TOGGLE
    request.xclient.data.l[1] = static_cast<long>(ptc_x11.wm_state_fullscreen);
    request.xclient.data.l[3] = 1; // from an application
    XSendEvent(ptc_display, ptc_root_window, False,
               SubstructureRedirectMask | SubstructureNotifyMask, &request);
    XFlush(ptc_display);
}

void ptc_x11_note_window_state() {
    if (!ptc_x11.managed)
        return;
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    bool full = false;
    if (XGetWindowProperty(ptc_display, ptc_x11.window, ptc_x11.wm_state, 0, 64, False, XA_ATOM,
                           &type, &format, &count, &after, &data) == Success &&
        type == XA_ATOM && format == 32) {
        const Atom *atoms = reinterpret_cast<Atom *>(data);
        full = std::find(atoms, atoms + count, ptc_x11.wm_state_fullscreen) != atoms + count;
    }
    if (data)
        XFree(data);
    if (full == ptc_x11.full_screen)
        return;
    ptc_x11.full_screen = full;
    hide_pointer(full);
    ask_compositor(full);
}

void ptc_x11_follow_monitors() {
    const ptc_x11_rect_s now = primary_monitor();
    const ptc_x11_rect_s before = ptc_x11.monitor;
    ptc_x11.monitor = now;
    // A manager fits its full-screen windows to their monitors itself.
    if (ptc_x11.managed)
        return;
    if (now.x != before.x || now.y != before.y || now.width != before.width ||
        now.height != before.height)
        XMoveResizeWindow(ptc_display, ptc_x11.window, now.x, now.y, now.width, now.height);
}
