// vorbo-desktop on Wayland: the connection, open and close, pacing by the compositor, the frame.
//
// One frame per frame callback: the next is drawn when the compositor has
// asked for it, so a hidden surface (no callbacks) costs nothing and an
// update never waits longer than a quarter of a second for one. Each commit
// asks for presentation feedback, whose times and refresh period tell when
// the next frame will be seen.
#include "ptc/desktop_wayland.h"
#include "ptc/desktop_backend.h"
#include "ptc/failure.h"

#include "fractional-scale-v1-client-protocol.h"
#include "idle-inhibit-unstable-v1-client-protocol.h"
#include "presentation-time-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "xdg-decoration-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <wayland-client.h>

ptc_wayland ptc_wl;

namespace {

constexpr std::int64_t ms = 1000000;
// How long an update waits for the compositor to want a frame, or to give a
// buffer back, before it drops the frame.
constexpr std::int64_t frame_wait_ns = 250 * ms;
// How long the open waits for the compositor's answers.
constexpr std::int64_t open_wait_ns = 5000 * ms;

void release();

// A lost connection (or a protocol error) ends the show with status 1, as a
// lost X display does.
[[noreturn]] void connection_lost() {
    const int error = wl_display_get_error(ptc_wl.display);
    std::fprintf(stderr, "%s: lost the connection to the Wayland compositor (%s)\n",
                 ptc_program_name(), std::strerror(error ? error : EPIPE));
    release();
    std::exit(1);
}

// Reads and dispatches the compositor's events until done() holds or the
// deadline (CLOCK_MONOTONIC ns) passes; a deadline of 0 only takes what has
// arrived. False when the connection is lost.
template <class Done> bool pump(std::int64_t deadline, Done done) {
    wl_display *display = ptc_wl.display;
    for (;;) {
        while (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0)
                return false;
        }
        // Requests go out before the wait; a full socket is retried on the next round.
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            return false;
        }
        if (done()) {
            wl_display_cancel_read(display);
            return true;
        }
        const std::int64_t left = deadline - ptc_monotonic_ns();
        pollfd connection = {wl_display_get_fd(display), POLLIN, 0};
        const int ready =
            poll(&connection, 1, left > 0 ? static_cast<int>((left + ms - 1) / ms) : 0);
        if (ready > 0) {
            if (wl_display_read_events(display) < 0)
                return false;
        } else {
            wl_display_cancel_read(display);
            if (ready < 0 && errno != EINTR)
                return false;
        }
        if (wl_display_dispatch_pending(display) < 0)
            return false;
        if (done())
            return true;
        if (ready == 0 && ptc_monotonic_ns() >= deadline)
            return true;
    }
}

// Everything that has arrived, during the show.
void read_events() {
    if (!pump(0, [] { return false; }))
        connection_lost();
}

// The quit contract: the program's hook, and if that returns, the close and
// exit status 0.
void quit_if_asked() {
    if (!ptc_wl.quit)
        return;
    ptc_cleanup_callback();
    ptc_close();
    std::exit(0);
}

// Waits, dispatching, for the server to have answered everything asked so far.
bool round_trip(std::int64_t deadline) {
    bool answered = false;
    static const wl_callback_listener listener = {
        [](void *data, wl_callback *callback, std::uint32_t) {
            *static_cast<bool *>(data) = true;
            wl_callback_destroy(callback);
        }};
    wl_callback *sync = wl_display_sync(ptc_wl.display);
    wl_callback_add_listener(sync, &listener, &answered);
    if (!pump(deadline, [&] { return answered; }) || !answered) {
        // Destroyed, an answer that comes later finds no listener.
        if (!answered)
            wl_callback_destroy(sync);
        return false;
    }
    return true;
}

void on_global(void *, wl_registry *registry, std::uint32_t name, const char *interface,
               std::uint32_t version) {
    ptc_wayland &w = ptc_wl;
    auto bind = [&](const wl_interface &type, std::uint32_t highest) {
        return wl_registry_bind(registry, name, &type, std::min(version, highest));
    };
    if (!std::strcmp(interface, wl_compositor_interface.name) && !w.compositor) {
        w.compositor = static_cast<wl_compositor *>(bind(wl_compositor_interface, 4));
    } else if (!std::strcmp(interface, wl_shm_interface.name) && !w.shm) {
        w.shm = static_cast<wl_shm *>(bind(wl_shm_interface, 1));
        static const wl_shm_listener listener = {[](void *, wl_shm *, std::uint32_t format) {
            if (format == WL_SHM_FORMAT_XRGB8888)
                ptc_wl.shm_has_xrgb8888 = true;
        }};
        wl_shm_add_listener(w.shm, &listener, nullptr);
    } else if (!std::strcmp(interface, xdg_wm_base_interface.name) && !w.wm_base) {
        w.wm_base = static_cast<xdg_wm_base *>(bind(xdg_wm_base_interface, 2));
        static const xdg_wm_base_listener listener = {
            [](void *, xdg_wm_base *base, std::uint32_t serial) {
                xdg_wm_base_pong(base, serial);
            }};
        xdg_wm_base_add_listener(w.wm_base, &listener, nullptr);
    } else if (!std::strcmp(interface, wp_viewporter_interface.name) && !w.viewporter) {
        w.viewporter = static_cast<wp_viewporter *>(bind(wp_viewporter_interface, 1));
    } else if (!std::strcmp(interface, wp_fractional_scale_manager_v1_interface.name) &&
               !w.fractional_manager) {
        w.fractional_manager = static_cast<wp_fractional_scale_manager_v1 *>(
            bind(wp_fractional_scale_manager_v1_interface, 1));
    } else if (!std::strcmp(interface, wp_presentation_interface.name) && !w.presentation) {
        w.presentation = static_cast<wp_presentation *>(bind(wp_presentation_interface, 1));
        static const wp_presentation_listener listener = {
            [](void *, wp_presentation *, std::uint32_t clock) {
                ptc_wl.presentation_clock = static_cast<clockid_t>(clock);
                ptc_wl.presentation_clock_known = true;
            }};
        wp_presentation_add_listener(w.presentation, &listener, nullptr);
    } else if (!std::strcmp(interface, zxdg_decoration_manager_v1_interface.name) &&
               !w.decoration_manager) {
        w.decoration_manager = static_cast<zxdg_decoration_manager_v1 *>(
            bind(zxdg_decoration_manager_v1_interface, 1));
    } else if (!std::strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name) &&
               !w.idle_manager) {
        w.idle_manager = static_cast<zwp_idle_inhibit_manager_v1 *>(
            bind(zwp_idle_inhibit_manager_v1_interface, 1));
    } else if (!std::strcmp(interface, wl_seat_interface.name) && !w.seat) {
        ptc_wayland_bind_seat(name, version);
    } else if (!std::strcmp(interface, wl_output_interface.name)) {
        ptc_wayland_add_output(name, version);
    }
}

void on_global_remove(void *, wl_registry *, std::uint32_t name) {
    if (ptc_wayland_remove_output(name))
        ptc_wl.relayout = true;
}

const wl_registry_listener registry_listener = {on_global, on_global_remove};

// A presentation time in nanoseconds of CLOCK_MONOTONIC, from the
// compositor's clock (another clock this process can read is moved over by
// the two clocks' difference now); 0 when it cannot be told.
std::int64_t monotonic_from_presentation(std::int64_t when) {
    if (!ptc_wl.presentation_clock_known)
        return 0;
    if (ptc_wl.presentation_clock == CLOCK_MONOTONIC)
        return when;
    timespec other;
    if (clock_gettime(ptc_wl.presentation_clock, &other) != 0)
        return 0;
    const std::int64_t other_ns = std::int64_t(other.tv_sec) * 1000000000 + other.tv_nsec;
    return when + (ptc_monotonic_ns() - other_ns);
}

void forget_feedback(struct wp_presentation_feedback *feedback) {
    for (auto &slot : ptc_wl.feedbacks)
        if (slot == feedback)
            slot = nullptr;
    wp_presentation_feedback_destroy(feedback);
}

const wp_presentation_feedback_listener feedback_listener = {
    [](void *, struct wp_presentation_feedback *, wl_output *) {},
    [](void *, struct wp_presentation_feedback *feedback, std::uint32_t seconds_high,
       std::uint32_t seconds_low, std::uint32_t nanoseconds, std::uint32_t refresh, std::uint32_t,
       std::uint32_t, std::uint32_t) {
        const std::int64_t seconds =
            std::int64_t((std::uint64_t(seconds_high) << 32) | seconds_low);
        if (const std::int64_t shown =
                monotonic_from_presentation(seconds * 1000000000 + nanoseconds))
            ptc_wl.shown_ns = shown;
        if (refresh)
            ptc_wl.refresh_ns = refresh;
        forget_feedback(feedback);
    },
    [](void *, struct wp_presentation_feedback *feedback) { forget_feedback(feedback); }};

const wl_callback_listener frame_listener = {[](void *, wl_callback *callback, std::uint32_t) {
    if (ptc_wl.frame_callback == callback)
        ptc_wl.frame_callback = nullptr;
    wl_callback_destroy(callback);
}};

// Undoes, in reverse order, whatever the state says the open acquired.
void release() {
    ptc_wayland &w = ptc_wl;
    for (auto &feedback : w.feedbacks)
        if (feedback)
            wp_presentation_feedback_destroy(feedback);
    if (w.frame_callback)
        wl_callback_destroy(w.frame_callback);
    for (auto &buffer : w.buffers)
        ptc_wayland_destroy_buffer(buffer);
    delete[] w.last_frame;
    delete[] w.row;
    ptc_wayland_destroy_surface();
    ptc_wayland_release_input();
    for (auto &output : w.outputs)
        if (output.output)
            wl_output_destroy(output.output);
    if (w.idle_manager)
        zwp_idle_inhibit_manager_v1_destroy(w.idle_manager);
    if (w.decoration_manager)
        zxdg_decoration_manager_v1_destroy(w.decoration_manager);
    if (w.presentation)
        wp_presentation_destroy(w.presentation);
    if (w.fractional_manager)
        wp_fractional_scale_manager_v1_destroy(w.fractional_manager);
    if (w.viewporter)
        wp_viewporter_destroy(w.viewporter);
    if (w.wm_base)
        xdg_wm_base_destroy(w.wm_base);
    if (w.shm)
        wl_shm_destroy(w.shm);
    if (w.compositor)
        wl_compositor_destroy(w.compositor);
    if (w.registry)
        wl_registry_destroy(w.registry);
    if (w.display) {
        wl_display_flush(w.display);
        wl_display_disconnect(w.display);
    }
    w = ptc_wayland{};
}

// Why an open stops, then everything released: 0 for the open to return.
__attribute__((format(printf, 1, 2))) int fail(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    ptc_fail_because_v(format, arguments);
    va_end(arguments);
    release();
    return 0;
}

int open_wayland(const char *title, int width, int height) {
    ptc_wayland &w = ptc_wl;
    w = ptc_wayland{};
    w.frame_width = width;
    w.frame_height = height;
    const char *name = std::getenv("WAYLAND_DISPLAY");
    w.display = wl_display_connect(nullptr);
    if (!w.display)
        return fail("no Wayland compositor answers at WAYLAND_DISPLAY=%s (%s)", name ? name : "",
                    std::strerror(errno));

    // The globals, then what binding them brings (formats, clock, outputs' modes, seat).
    const std::int64_t deadline = ptc_monotonic_ns() + open_wait_ns;
    w.registry = wl_display_get_registry(w.display);
    wl_registry_add_listener(w.registry, &registry_listener, nullptr);
    if (!round_trip(deadline) || !round_trip(deadline))
        return fail("the Wayland compositor at %s did not answer", name ? name : "");
    if (!w.compositor)
        return fail("the Wayland compositor offers no wl_compositor");
    if (!w.wm_base)
        return fail("the Wayland compositor offers no xdg-shell (xdg_wm_base), so the show "
                    "cannot have a window there");
    if (!w.shm || !w.shm_has_xrgb8888)
        return fail("the Wayland compositor offers no XRGB8888 shared-memory buffers (wl_shm)");

    ptc_convert = ptc_request_converter(32, 0xFF0000, 0x00FF00, 0x0000FF);
    w.widen = ptc_request_widener(4);
    w.row = new unsigned char[static_cast<std::size_t>(width) * 4];
    w.last_frame = new std::uint32_t[static_cast<std::size_t>(width) * height];

    ptc_wayland_make_surface(title);
    if (!pump(deadline, [] { return ptc_wl.configured; }) || !w.configured)
        return fail("the Wayland compositor did not configure the window within %d seconds",
                    int(open_wait_ns / 1000000000));
    if (!ptc_wayland_lay_out())
        return fail("the output is %dx%d, smaller than the %dx%d frame", w.size.buffer_width,
                    w.size.buffer_height, width, height);
    return 1;
}

void close_wayland() {
    release();
}

// The chosen converter, then each pixel's unused top byte set: XRGB8888
// ignores it, but what copies the output raw (weston's screenshots, which
// read it as alpha) sees the frame's own top byte otherwise. The row is
// still in the cache when its top bytes are set.
void convert_opaque(void *source, void *destination, int count) {
    ptc_convert(source, destination, count);
    auto *pixel = static_cast<std::uint32_t *>(destination);
    for (int i = 0; i < count; ++i)
        pixel[i] |= 0xFF000000u;
}

// Asks for the next frame callback, and for feedback on when this commit is seen.
void ask_for_next_frame() {
    ptc_wayland &w = ptc_wl;
    w.frame_callback = wl_surface_frame(w.surface);
    wl_callback_add_listener(w.frame_callback, &frame_listener, nullptr);
    if (w.presentation) {
        for (auto &slot : w.feedbacks) {
            if (slot)
                continue;
            slot = wp_presentation_feedback(w.presentation, w.surface);
            wp_presentation_feedback_add_listener(slot, &feedback_listener, nullptr);
            break;
        }
    }
}

// Puts the frame into a free buffer at the layout in force and commits it,
// with the next frame callback and presentation feedback. Only the rows that
// differ from what that buffer holds are converted, and only the band of rows
// that differ from the frame committed last is damaged: a still picture with
// a moving dot costs a few rows a frame, a frame like the last one nothing
// but the commit. A frame for which no buffer comes free in time is dropped.
void present(void *frame) {
    ptc_wayland &w = ptc_wl;
    if (w.relayout) {
        ptc_wayland_lay_out();
        w.last_frame_valid = false;
    }
    const auto *source = static_cast<const std::uint32_t *>(frame);
    const int width = w.frame_width, height = w.frame_height;
    const std::size_t row_bytes = static_cast<std::size_t>(width) * 4;
    auto row_of = [width](auto *pixels, int r) {
        return pixels + static_cast<std::ptrdiff_t>(r) * width;
    };
    int first = -1, last = -1;
    for (int r = 0; r < height; ++r) {
        if (!w.last_frame_valid ||
            std::memcmp(row_of(source, r), row_of(w.last_frame, r), row_bytes)) {
            first = first < 0 ? r : first;
            last = r;
        }
    }
    if (first < 0) {
        ask_for_next_frame();
        wl_surface_commit(w.surface);
        return;
    }

    ptc_wayland_buffer *buffer = ptc_wayland_free_buffer();
    if (!buffer) {
        if (!pump(ptc_monotonic_ns() + frame_wait_ns,
                  [] { return ptc_wl.relayout || ptc_wayland_free_buffer() != nullptr; }))
            connection_lost();
        if (w.relayout)
            return;
        buffer = ptc_wayland_free_buffer();
        if (!buffer)
            return;
    }
    const ptc_layout_s &at = w.layout;
    if (at.scale >= 1) {
        char *origin = static_cast<char *>(buffer->pixels) +
                       static_cast<std::ptrdiff_t>(at.y) * buffer->stride + at.x * 4;
        for (int r = 0; r < height; ++r) {
            const std::uint32_t *in = row_of(source, r);
            std::uint32_t *held = row_of(buffer->held, r);
            if (buffer->held_valid && !std::memcmp(in, held, row_bytes))
                continue;
            ptc_convert_scaled(in, width, 1, at.scale, convert_opaque, w.widen, 4, w.row,
                               origin + static_cast<std::ptrdiff_t>(r) * at.scale * buffer->stride,
                               buffer->stride);
            std::memcpy(held, in, row_bytes);
        }
        buffer->held_valid = true;
    }
    for (int r = first; r <= last; ++r)
        std::memcpy(row_of(w.last_frame, r), row_of(source, r), row_bytes);
    w.last_frame_valid = true;

    wl_surface_attach(w.surface, buffer->buffer, 0, 0);
    buffer->busy = true;
    if (w.attached_width != buffer->width || w.attached_height != buffer->height || at.scale < 1)
        wl_surface_damage_buffer(w.surface, 0, 0, buffer->width, buffer->height);
    else
        wl_surface_damage_buffer(w.surface, at.x, at.y + first * at.scale, width * at.scale,
                                 (last - first + 1) * at.scale);
    w.attached_width = buffer->width;
    w.attached_height = buffer->height;
    ask_for_next_frame();
    wl_surface_commit(w.surface);
}

int update_wayland(void *frame) {
    read_events();
    quit_if_asked();
    // The frame before must have been asked for again; while it is not
    // (the surface is hidden), frames are dropped.
    if (ptc_wl.frame_callback &&
        !pump(ptc_monotonic_ns() + frame_wait_ns, [] { return !ptc_wl.frame_callback; }))
        connection_lost();
    quit_if_asked();
    if (!ptc_wl.frame_callback)
        present(frame);
    read_events();
    quit_if_asked();
    return 1;
}

int process_events_wayland() {
    read_events();
    return ptc_wl.quit ? 1 : 0;
}

bool wait_for_frame_wayland(int timeout_ms) {
    read_events();
    quit_if_asked();
    if (ptc_wl.frame_callback &&
        !pump(ptc_monotonic_ns() + std::int64_t(std::max(timeout_ms, 0)) * ms,
              [] { return !ptc_wl.frame_callback || ptc_wl.quit; }))
        connection_lost();
    quit_if_asked();
    return !ptc_wl.frame_callback;
}

// A frame committed now is shown at the first refresh after the last one
// shown that is still ahead.
std::int64_t next_frame_time_wayland() {
    const ptc_wayland &w = ptc_wl;
    if (!w.shown_ns || !w.refresh_ns)
        return 0;
    const std::int64_t now = ptc_monotonic_ns();
    std::int64_t next = w.shown_ns + w.refresh_ns;
    if (next <= now)
        next += ((now - next) / w.refresh_ns + 1) * w.refresh_ns;
    return next;
}

} // namespace

const ptc_desktop_backend ptc_desktop_wayland = {
    "Wayland",     open_wayland,           update_wayland,         process_events_wayland,
    close_wayland, wait_for_frame_wayland, next_frame_time_wayland};
