// vorbo-desktop on X11: a window over the whole screen, the frame scaled up by a whole number.
//
// Nothing about the screen is changed: no video mode, no direct video, no
// privilege. The frame is shown at the largest whole scale k that fits the
// screen, each frame pixel a k x k block, centred on black. Where the server
// offers the Present extension, each frame is presented at the display's next
// refresh and the update waits for the one before to be shown; elsewhere it
// is put into the window with one round trip per frame.
#include "ptc/desktop_backend.h"
#include "ptc/scale.h"
#include "ptc/x11_shared.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xpresent.h>
#include <X11/keysym.h>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <poll.h>
#include <thread>

// The desktop window's own state, from ptc_open to ptc_close (the display, its
// pixel layout and converter are the core's, in x11_shared.cpp).
static int ptc_screen_width, ptc_screen_height;
static Window ptc_window;
static XSetWindowAttributes ptc_window_attributes;
static GC ptc_window_gc;
static Cursor ptc_blank_cursor;
static bool ptc_keyboard_grabbed;
static int ptc_scale;                // k: every frame pixel becomes a k x k block
static int ptc_frame_x, ptc_frame_y; // the scaled frame's top-left corner in the window
static XImage *ptc_ximage;           // the scaled frame, 640k x 480k display pixels
static XShmSegmentInfo ptc_shm_segment;
static unsigned char *ptc_row; // one converted source row, widened from (k > 1)
static ptc_widener_t ptc_widen;
static int ptc_present_opcode; // the Present extension's major opcode; 0 without it
static Pixmap ptc_present_pixmap;
static bool ptc_present_pixmap_shared; // the image's own segment, else a copy put into it
static XID ptc_present_events;
static unsigned ptc_present_serial;
static int ptc_presents_pending;      // presented, and not yet reported shown
static std::int64_t ptc_presented_ns; // when the last frame was presented (CLOCK_MONOTONIC)
static std::int64_t ptc_shown_ns;     // when the last frame reported shown was (CLOCK_MONOTONIC)
static std::uint64_t ptc_shown_msc;   // and at which refresh of the display
static std::int64_t ptc_refresh_ns;   // the display's refresh period, as the reports show it

// A window manager that is running (its check window names itself) and
// lists _NET_WM_STATE_FULLSCREEN among what it supports. A manager that has
// gone can leave its properties on the root window behind.
static bool window_manager_has_fullscreen() {
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
    const Atom check = XInternAtom(ptc_display, "_NET_SUPPORTING_WM_CHECK", False);
    Window manager = None, itself = None;
    // A check window that does not exist makes an error; so does asking it.
    ptc_catch_x_errors(ptc_display);
    const bool running = window_property(ptc_root_window, check, manager) &&
                         window_property(manager, check, itself) && itself == manager;
    const bool refused = ptc_x_errors_caught(ptc_display);
    if (!running || refused)
        return false;

    const Atom supported = XInternAtom(ptc_display, "_NET_SUPPORTED", False);
    const Atom fullscreen = XInternAtom(ptc_display, "_NET_WM_STATE_FULLSCREEN", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    bool found = false;
    if (XGetWindowProperty(ptc_display, ptc_root_window, supported, 0, 4096, False, XA_ATOM, &type,
                           &format, &count, &after, &data) == Success &&
        type == XA_ATOM && format == 32) {
        const Atom *atoms = reinterpret_cast<Atom *>(data);
        found = std::find(atoms, atoms + count, fullscreen) != atoms + count;
    }
    if (data)
        XFree(data);
    return found;
}

// A window of its own, override-redirect, is mapped at once; the grab may
// still meet another client's for a moment (a menu closing), so it is tried
// for up to a second.
static bool grab_keyboard() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (XGrabKeyboard(ptc_display, ptc_window, False, GrabModeAsync, GrabModeAsync,
                          CurrentTime) == GrabSuccess)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

static Cursor blank_cursor() {
    static const char nothing[1] = {0};
    Pixmap bitmap = XCreateBitmapFromData(ptc_display, ptc_window, nothing, 1, 1);
    XColor black = XColor();
    Cursor cursor = XCreatePixmapCursor(ptc_display, bitmap, bitmap, &black, &black, 0, 0);
    XFreePixmap(ptc_display, bitmap);
    return cursor;
}

static bool is_completion(const XEvent &event) {
    return event.type == GenericEvent && event.xgeneric.extension == ptc_present_opcode &&
           event.xgeneric.evtype == PresentCompleteNotify;
}

// A frame has been shown: the pixmap is free again, and the report tells
// when (in microseconds of the server's monotonic clock, the same as ours on
// a local display) and at which refresh, from which the refresh period
// follows.
static void note_completion(XEvent &event) {
    if (ptc_presents_pending > 0)
        --ptc_presents_pending;
    std::int64_t when = ptc_monotonic_ns();
    std::uint64_t msc = 0;
    if (XGetEventData(ptc_display, &event.xcookie)) {
        const auto *report = static_cast<XPresentCompleteNotifyEvent *>(event.xcookie.data);
        const std::int64_t ust = static_cast<std::int64_t>(report->ust) * 1000;
        // A clock of another machine's (a remote display) is not ours.
        if (ust > when - 1000000000 && ust <= when)
            when = ust;
        msc = report->msc;
        XFreeEventData(ptc_display, &event.xcookie);
    }
    if (ptc_shown_ns && msc > ptc_shown_msc && msc - ptc_shown_msc < 8) {
        const std::int64_t period =
            (when - ptc_shown_ns) / static_cast<std::int64_t>(msc - ptc_shown_msc);
        // A running average, so that one late report does not move it far.
        ptc_refresh_ns = ptc_refresh_ns ? (7 * ptc_refresh_ns + period) / 8 : period;
    }
    ptc_shown_ns = when;
    ptc_shown_msc = msc;
}

// Reads every event that has arrived: the viewer's keys, the window's close,
// the frames' completions. 1 when the viewer asked to quit.
static int read_events() {
    int quit = 0;
    // XPending also flushes the requests.
    while (XPending(ptc_display)) {
        XEvent event;
        XNextEvent(ptc_display, &event);
        if (event.type == KeyPress) {
            if (ptc_desktop_key(XLookupKeysym(&event.xkey, 0)) == ptc_key_action::quit)
                quit = 1;
        } else if (event.type == ClientMessage &&
                   static_cast<Atom>(event.xclient.data.l[0]) == ptc_close_atom) {
            quit = 1;
        } else if (is_completion(event)) {
            note_completion(event);
        }
    }
    return quit;
}

// The quit contract: the program's hook, and if that returns, the close and
// exit status 0.
static void quit_show() {
    ptc_cleanup_callback();
    ptc_close();
    std::exit(0);
}

// Waits until the frame presented last has been shown (at the display's
// refresh), so that its pixels may be overwritten, or until timeout_ms have
// passed. Every other event stays queued. A server that stays silent for a
// quarter of a second after a present is not waited for any longer.
static void await_presentation(int timeout_ms) {
    const std::int64_t deadline = std::min(ptc_monotonic_ns() + std::int64_t(timeout_ms) * 1000000,
                                           ptc_presented_ns + std::int64_t(250) * 1000000);
    XEvent event;
    while (ptc_presents_pending > 0) {
        // Also flushes the requests and reads what has arrived.
        if (XCheckIfEvent(
                ptc_display, &event,
                [](Display *, XEvent *e, XPointer) -> Bool { return is_completion(*e); },
                nullptr)) {
            note_completion(event);
            continue;
        }
        const std::int64_t now = ptc_monotonic_ns();
        pollfd connection = {ConnectionNumber(ptc_display), POLLIN, 0};
        if (now >= deadline ||
            poll(&connection, 1, static_cast<int>((deadline - now + 999999) / 1000000)) <= 0) {
            if (ptc_monotonic_ns() >= ptc_presented_ns + std::int64_t(250) * 1000000)
                ptc_presents_pending = 0;
            return;
        }
    }
}

// What is presented: the image's own segment as a pixmap where the server
// shares pixmaps, else a pixmap of the server's that each frame is put into.
static bool start_presenting(int width, int height) {
    int event_base, error_base;
    if (!XPresentQueryExtension(ptc_display, &ptc_present_opcode, &event_base, &error_base)) {
        ptc_present_opcode = 0;
        return false;
    }
    int major, minor;
    Bool shared_pixmaps = False;
    XShmQueryVersion(ptc_display, &major, &minor, &shared_pixmaps);
    ptc_present_pixmap_shared = shared_pixmaps && XShmPixmapFormat(ptc_display) == ZPixmap;
    ptc_present_pixmap = ptc_present_pixmap_shared
                             ? XShmCreatePixmap(ptc_display, ptc_window, ptc_ximage->data,
                                                &ptc_shm_segment, width, height, ptc_depth)
                             : XCreatePixmap(ptc_display, ptc_window, width, height, ptc_depth);
    ptc_present_events = XPresentSelectInput(ptc_display, ptc_window, PresentCompleteNotifyMask);
    ptc_presents_pending = 0;
    ptc_shown_ns = 0;
    ptc_refresh_ns = 0;
    return true;
}

static int open_x11(const char *title, int width, int height) {
    if (!ptc_open_shared_memory_display())
        return 0;

    ptc_screen_width = DisplayWidth(ptc_display, ptc_screen);
    ptc_screen_height = DisplayHeight(ptc_display, ptc_screen);
    const ptc_layout_s layout = ptc_lay_out(ptc_screen_width, ptc_screen_height, width, height);
    ptc_scale = layout.scale;
    if (ptc_scale < 1) {
        ptc_fail_because("the screen is %dx%d, smaller than the %dx%d frame", ptc_screen_width,
                         ptc_screen_height, width, height);
        goto failure;
    }
    ptc_frame_x = layout.x;
    ptc_frame_y = layout.y;
    ptc_root_window = RootWindow(ptc_display, ptc_screen);

    {
        // Where the window manager can make a window full screen it is asked
        // to; otherwise the window takes the screen itself, out of the
        // manager's hands, and the keyboard with it.
        const bool managed = window_manager_has_fullscreen();
        ptc_window_attributes.background_pixel = BlackPixel(ptc_display, ptc_screen);
        ptc_window_attributes.border_pixel = BlackPixel(ptc_display, ptc_screen);
        ptc_window_attributes.backing_store = NotUseful;
        ptc_window_attributes.override_redirect = managed ? False : True;
        ptc_window =
            XCreateWindow(ptc_display, ptc_root_window, 0, 0, ptc_screen_width, ptc_screen_height,
                          0, ptc_depth, InputOutput, ptc_visual,
                          CWBackPixel | CWBorderPixel | CWBackingStore | CWOverrideRedirect,
                          &ptc_window_attributes);
        XStoreName(ptc_display, ptc_window, title);
        XClassHint class_hint = {const_cast<char *>("vorbo-desktop"), const_cast<char *>("Vorbo")};
        XSetClassHint(ptc_display, ptc_window, &class_hint);
        XSelectInput(ptc_display, ptc_window, KeyPressMask | KeyReleaseMask);
        ptc_close_atom = XInternAtom(ptc_display, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(ptc_display, ptc_window, &ptc_close_atom, 1);
        if (managed) {
            Atom state = XInternAtom(ptc_display, "_NET_WM_STATE", False);
            Atom fullscreen = XInternAtom(ptc_display, "_NET_WM_STATE_FULLSCREEN", False);
            XChangeProperty(ptc_display, ptc_window, state, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char *>(&fullscreen), 1);
        }
        ptc_blank_cursor = blank_cursor();
        XDefineCursor(ptc_display, ptc_window, ptc_blank_cursor);
        XMapRaised(ptc_display, ptc_window);
        XSync(ptc_display, False);
        ptc_keyboard_grabbed = !managed;
        if (!managed && !grab_keyboard()) {
            ptc_fail_because(
                "another program holds the keyboard, so Escape could not end the show");
            goto destroy_window;
        }
    }

    ptc_window_gc = DefaultGC(ptc_display, ptc_screen);
    ptc_ximage = ptc_create_shared_image(width * ptc_scale, height * ptc_scale, ptc_shm_segment);
    if (!ptc_ximage)
        goto destroy_window;
    ptc_widen = ptc_request_widener(ptc_output_pitch);
    ptc_row =
        ptc_scale > 1 ? new unsigned char[static_cast<size_t>(width) * ptc_output_pitch] : nullptr;
    start_presenting(width * ptc_scale, height * ptc_scale);
    XSync(ptc_display, False);

    ptc_viewport_width = width;
    ptc_viewport_height = height;
    return 1;

destroy_window:
    XFreeCursor(ptc_display, ptc_blank_cursor);
    XDestroyWindow(ptc_display, ptc_window);
failure:
    ptc_close_display();
    return 0;
}

static int update_x11(void *frame) {
    // The pixels of the frame before must have been read before they are
    // overwritten: shown, when presented, else put into the window.
    if (ptc_present_opcode)
        await_presentation(250);
    else
        XSync(ptc_display, False);

    ptc_convert_scaled(frame, ptc_viewport_width, ptc_viewport_height, ptc_scale, ptc_convert,
                       ptc_widen, ptc_output_pitch, ptc_row, ptc_ximage->data,
                       ptc_ximage->bytes_per_line);

    const int width = ptc_viewport_width * ptc_scale, height = ptc_viewport_height * ptc_scale;
    if (ptc_present_opcode) {
        if (!ptc_present_pixmap_shared)
            XShmPutImage(ptc_display, ptc_present_pixmap, ptc_window_gc, ptc_ximage, 0, 0, 0, 0,
                         width, height, False);
        // Copied into the window at the next refresh, so the pixmap is free
        // again once the completion is reported.
        XPresentPixmap(ptc_display, ptc_window, ptc_present_pixmap, ++ptc_present_serial, None,
                       None, ptc_frame_x, ptc_frame_y, None, None, None, PresentOptionCopy, 0, 0, 0,
                       nullptr, 0);
        ++ptc_presents_pending;
        ptc_presented_ns = ptc_monotonic_ns();
    } else {
        XShmPutImage(ptc_display, ptc_window, ptc_window_gc, ptc_ximage, 0, 0, ptc_frame_x,
                     ptc_frame_y, width, height, False);
    }
    if (read_events())
        quit_show();
    return 1;
}

static void close_x11() {
    if (ptc_present_opcode) {
        XPresentFreeInput(ptc_display, ptc_window, ptc_present_events);
        XFreePixmap(ptc_display, ptc_present_pixmap);
    }
    ptc_destroy_shared_image(ptc_ximage, ptc_shm_segment);
    delete[] ptc_row;
    ptc_row = nullptr;
    if (ptc_keyboard_grabbed)
        XUngrabKeyboard(ptc_display, CurrentTime);
    XFreeCursor(ptc_display, ptc_blank_cursor);
    XDestroyWindow(ptc_display, ptc_window);
    ptc_close_display();
}

// Paced by the display: the next frame is wanted once the one before has
// been shown (without Present, at once).
static bool wait_for_frame_x11(int timeout_ms) {
    if (read_events())
        quit_show();
    if (ptc_present_opcode && ptc_presents_pending > 0)
        await_presentation(timeout_ms);
    if (read_events())
        quit_show();
    return ptc_presents_pending == 0;
}

// A frame presented now is shown at the first refresh after the one that
// showed the last frame which is still ahead.
static std::int64_t next_frame_time_x11() {
    if (!ptc_present_opcode || !ptc_shown_ns || !ptc_refresh_ns)
        return 0;
    const std::int64_t now = ptc_monotonic_ns();
    std::int64_t next = ptc_shown_ns + ptc_refresh_ns;
    if (next <= now)
        next += ((now - next) / ptc_refresh_ns + 1) * ptc_refresh_ns;
    return next;
}

const ptc_desktop_backend ptc_desktop_x11 = {
    "X11", open_x11, update_x11, read_events, close_x11, wait_for_frame_x11, next_frame_time_x11};
