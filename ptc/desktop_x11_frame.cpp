// vorbo-desktop's X11 frame: laid out in the window, scaled, and presented at the display's
// refresh.
//
// The frame is shown at the largest whole scale k that fits the window, each
// frame pixel a k x k block, centred on black. Only what changed since the
// frame the image holds is converted and widened, and only that part is
// copied to the window. Where the server offers the Present extension, each
// frame is presented at the display's next refresh and the update waits for
// the one before to be shown before it writes the image; elsewhere it is put
// into the window with one round trip per frame.
#include "ptc/desktop_backend.h"
#include "ptc/desktop_x11.h"

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xpresent.h>
#include <algorithm>
#include <cstring>
#include <poll.h>

namespace {

// What is presented: the image's own segment as a pixmap where the server
// shares pixmaps, else a pixmap of the server's that each frame is put into.
void make_pixmap() {
    if (!ptc_x11.present_opcode || !ptc_x11.image)
        return;
    const unsigned width = ptc_x11.image->width, height = ptc_x11.image->height;
    ptc_x11.pixmap = ptc_x11.pixmap_shared
                         ? XShmCreatePixmap(ptc_display, ptc_x11.window, ptc_x11.image->data,
                                            &ptc_x11.segment, width, height, ptc_depth)
                         : XCreatePixmap(ptc_display, ptc_x11.window, width, height, ptc_depth);
}

void release_image() {
    if (ptc_x11.pixmap)
        XFreePixmap(ptc_display, ptc_x11.pixmap);
    ptc_x11.pixmap = None;
    if (ptc_x11.image)
        ptc_destroy_shared_image(ptc_x11.image, ptc_x11.segment);
    ptc_x11.image = nullptr;
    delete[] ptc_x11.row;
    ptc_x11.row = nullptr;
    ptc_x11.image_scale = 0;
    ptc_x11.held_valid = false;
}

bool make_image(int k) {
    ptc_x11.image =
        ptc_create_shared_image(ptc_x11.frame_width * k, ptc_x11.frame_height * k, ptc_x11.segment);
    if (!ptc_x11.image)
        return false;
    ptc_x11.row = new unsigned char[static_cast<std::size_t>(ptc_x11.frame_width) * 4];
    ptc_x11.image_scale = k;
    make_pixmap();
    return true;
}

// Paints the window black around the frame's place.
void clear_around_frame() {
    const int w = ptc_x11.width, h = ptc_x11.height;
    const int x0 = std::max(ptc_x11.layout.x, 0), y0 = std::max(ptc_x11.layout.y, 0);
    const int x1 = std::min(ptc_x11.layout.x + ptc_x11.frame_width * ptc_x11.layout.scale, w);
    const int y1 = std::min(ptc_x11.layout.y + ptc_x11.frame_height * ptc_x11.layout.scale, h);
    if (x0 >= x1 || y0 >= y1) {
        XClearWindow(ptc_display, ptc_x11.window);
        return;
    }
    // Above, below, left of and right of the frame (XClearArea's 0 is "to the edge").
    if (y0 > 0)
        XClearArea(ptc_display, ptc_x11.window, 0, 0, w, y0, False);
    if (y1 < h)
        XClearArea(ptc_display, ptc_x11.window, 0, y1, w, h - y1, False);
    if (x0 > 0)
        XClearArea(ptc_display, ptc_x11.window, 0, y0, x0, y1 - y0, False);
    if (x1 < w)
        XClearArea(ptc_display, ptc_x11.window, x1, y0, w - x1, y1 - y0, False);
}

// The rectangle of source pixels that differ from the ones the image holds,
// converted and widened into the image, the image's copy of them noted.
XRectangle convert_changes(const std::uint32_t *frame) {
    const int width = ptc_x11.frame_width, height = ptc_x11.frame_height, k = ptc_x11.image_scale;
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    if (ptc_x11.held.size() != pixels) {
        ptc_x11.held.assign(pixels, 0);
        ptc_x11.held_valid = false;
    }
    const std::ptrdiff_t pitch = ptc_x11.image->bytes_per_line;
    int left = width, right = 0, top = height, bottom = 0;
    for (int y = 0; y < height; ++y) {
        const std::uint32_t *source = frame + static_cast<std::size_t>(y) * width;
        std::uint32_t *held = ptc_x11.held.data() + static_cast<std::size_t>(y) * width;
        int x0 = 0, x1 = width;
        if (ptc_x11.held_valid) {
            if (std::memcmp(source, held, static_cast<std::size_t>(width) * 4) == 0)
                continue;
            while (source[x0] == held[x0])
                ++x0;
            while (source[x1 - 1] == held[x1 - 1])
                --x1;
        }
        char *destination = ptc_x11.image->data + static_cast<std::ptrdiff_t>(y) * k * pitch +
                            static_cast<std::ptrdiff_t>(x0) * k * ptc_output_pitch;
        ptc_convert_scaled(source + x0, x1 - x0, 1, k, ptc_convert, ptc_x11.widen, ptc_output_pitch,
                           ptc_x11.row, destination, pitch);
        std::memcpy(held + x0, source + x0, static_cast<std::size_t>(x1 - x0) * 4);
        left = std::min(left, x0);
        right = std::max(right, x1);
        top = std::min(top, y);
        bottom = y + 1;
    }
    ptc_x11.held_valid = true;
    if (top >= bottom)
        return XRectangle{0, 0, 0, 0};
    return XRectangle{static_cast<short>(left * k), static_cast<short>(top * k),
                      static_cast<unsigned short>((right - left) * k),
                      static_cast<unsigned short>((bottom - top) * k)};
}

} // namespace

bool ptc_x11_is_completion(const XEvent &event) {
    return event.type == GenericEvent && event.xgeneric.extension == ptc_x11.present_opcode &&
           event.xgeneric.evtype == PresentCompleteNotify;
}

// A frame has been shown: the pixmap is free again, and the report tells
// when (in microseconds of the server's monotonic clock, the same as ours on
// a local display) and at which refresh, from which the refresh period
// follows.
void ptc_x11_note_completion(XEvent &event) {
    if (ptc_x11.pending > 0)
        --ptc_x11.pending;
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
    if (ptc_x11.shown_ns && msc > ptc_x11.shown_msc && msc - ptc_x11.shown_msc < 8) {
        const std::int64_t period =
            (when - ptc_x11.shown_ns) / static_cast<std::int64_t>(msc - ptc_x11.shown_msc);
        // A running average, so that one late report does not move it far.
        ptc_x11.refresh_ns = ptc_x11.refresh_ns ? (7 * ptc_x11.refresh_ns + period) / 8 : period;
    }
    ptc_x11.shown_ns = when;
    ptc_x11.shown_msc = msc;
}

// Every other event stays queued. A server that stays silent for a quarter
// of a second after a present is not waited for any longer (a window that
// was unmapped meanwhile may never be shown).
void ptc_x11_await_presentation(int timeout_ms) {
    const std::int64_t give_up = ptc_x11.presented_ns + std::int64_t(250) * 1000000;
    const std::int64_t deadline =
        std::min(ptc_monotonic_ns() + std::int64_t(timeout_ms) * 1000000, give_up);
    XEvent event;
    while (ptc_x11.pending > 0) {
        // Also flushes the requests and reads what has arrived.
        if (XCheckIfEvent(
                ptc_display, &event,
                [](Display *, XEvent *e, XPointer) -> Bool { return ptc_x11_is_completion(*e); },
                nullptr)) {
            ptc_x11_note_completion(event);
            continue;
        }
        const std::int64_t now = ptc_monotonic_ns();
        pollfd connection = {ConnectionNumber(ptc_display), POLLIN, 0};
        if (now >= deadline ||
            poll(&connection, 1, static_cast<int>((deadline - now + 999999) / 1000000)) <= 0) {
            if (ptc_monotonic_ns() >= give_up)
                ptc_x11.pending = 0;
            return;
        }
    }
}

bool ptc_x11_start_frame() {
    ptc_x11.widen = ptc_request_widener(ptc_output_pitch);
    int event_base, error_base, major = 0, minor = 0;
    // Presenting a part of the pixmap takes an XFixes region.
    if (XPresentQueryExtension(ptc_display, &ptc_x11.present_opcode, &event_base, &error_base) &&
        XFixesQueryExtension(ptc_display, &event_base, &error_base) &&
        XFixesQueryVersion(ptc_display, &major, &minor) && major >= 2) {
        Bool shared_pixmaps = False;
        XShmQueryVersion(ptc_display, &major, &minor, &shared_pixmaps);
        ptc_x11.pixmap_shared = shared_pixmaps && XShmPixmapFormat(ptc_display) == ZPixmap;
        ptc_x11.update_region = XFixesCreateRegion(ptc_display, nullptr, 0);
        ptc_x11.present_events =
            XPresentSelectInput(ptc_display, ptc_x11.window, PresentCompleteNotifyMask);
    } else {
        ptc_x11.present_opcode = 0;
    }
    return ptc_x11_lay_out();
}

bool ptc_x11_lay_out() {
    ptc_x11.layout_stale = false;
    ptc_x11.repaint_all = true;
    const int width = ptc_x11.frame_width, height = ptc_x11.frame_height;
    ptc_layout_s layout = ptc_lay_out(ptc_x11.width, ptc_x11.height, width, height);
    // A window smaller than the frame (a manager that ignores the minimum
    // size) shows its middle.
    if (layout.scale < 1)
        layout = {1, (ptc_x11.width - width) / 2, (ptc_x11.height - height) / 2};
    if (layout.scale != ptc_x11.image_scale) {
        release_image();
        if (!make_image(layout.scale)) {
            XClearWindow(ptc_display, ptc_x11.window);
            return false;
        }
    }
    ptc_x11.layout = layout;
    clear_around_frame();
    return true;
}

void ptc_x11_show(const void *frame) {
    XRectangle changed = convert_changes(static_cast<const std::uint32_t *>(frame));
    if (ptc_x11.repaint_all)
        changed = {0, 0, static_cast<unsigned short>(ptc_x11.image->width),
                   static_cast<unsigned short>(ptc_x11.image->height)};
    ptc_x11.repaint_all = false;
    const ptc_layout_s &at = ptc_x11.layout;
    if (!ptc_x11.present_opcode) {
        if (changed.width)
            XShmPutImage(ptc_display, ptc_x11.window, DefaultGC(ptc_display, ptc_screen),
                         ptc_x11.image, changed.x, changed.y, at.x + changed.x, at.y + changed.y,
                         changed.width, changed.height, False);
        return;
    }
    if (changed.width && !ptc_x11.pixmap_shared)
        XShmPutImage(ptc_display, ptc_x11.pixmap, DefaultGC(ptc_display, ptc_screen), ptc_x11.image,
                     changed.x, changed.y, changed.x, changed.y, changed.width, changed.height,
                     False);
    // A frame like the one before is still presented (one pixel of it), so
    // that the show stays paced by the display.
    if (!changed.width)
        changed = {0, 0, 1, 1};
    XFixesSetRegion(ptc_display, ptc_x11.update_region, &changed, 1);
    // Copied into the window at the next refresh, so the pixmap is free
    // again once the completion is reported.
    XPresentPixmap(ptc_display, ptc_x11.window, ptc_x11.pixmap, ++ptc_x11.serial, None,
                   ptc_x11.update_region, at.x, at.y, None, None, None, PresentOptionCopy, 0, 0, 0,
                   nullptr, 0);
    ++ptc_x11.pending;
    ptc_x11.presented_ns = ptc_monotonic_ns();
}

void ptc_x11_release_frame() {
    release_image();
    if (ptc_x11.present_events)
        XPresentFreeInput(ptc_display, ptc_x11.window, ptc_x11.present_events);
    if (ptc_x11.update_region)
        XFixesDestroyRegion(ptc_display, ptc_x11.update_region);
}
