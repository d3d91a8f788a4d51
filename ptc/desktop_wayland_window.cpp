// vorbo-desktop on Wayland: the surface and its toplevel, the outputs, and the size and scale of
// its pixels.
//
// Full screen on the output the compositor chooses, or a 640 x 480 window.
// The buffer always has the output's physical pixels: at a fractional scale
// (wp_fractional_scale_v1) a buffer of the scaled size mapped 1:1 onto the
// surface by a viewport, else the logical size times the output's whole
// scale with that buffer scale. Every configure, output and scale change
// lays the frame out again before the next frame.
#include "ptc/desktop_wayland.h"

#include "fractional-scale-v1-client-protocol.h"
#include "idle-inhibit-unstable-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "xdg-decoration-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <algorithm>
#include <wayland-client.h>

namespace {

// Sizes and scales beyond any output's are the compositor's mistakes; they
// are held to these so that no buffer size overflows.
constexpr int largest_side = 16384;
constexpr int largest_scale = 16;

ptc_wayland_output *output_of(wl_output *output) {
    for (auto &o : ptc_wl.outputs)
        if (o.output && o.output == output)
            return &o;
    return nullptr;
}

bool on_an_output() {
    for (const auto &o : ptc_wl.outputs)
        if (o.output && o.entered)
            return true;
    return false;
}

// The whole scale of the outputs the surface is on (the largest, as on a
// surface across two), or of every output before it is on any.
int whole_scale() {
    int on = 0, any = 0;
    for (const auto &o : ptc_wl.outputs) {
        if (!o.output)
            continue;
        any = std::max(any, o.scale);
        if (o.entered)
            on = std::max(on, o.scale);
    }
    return std::clamp(on ? on : any, 1, largest_scale);
}

// A full-screen size the compositor left unsaid: the output's, in logical pixels.
void output_logical_size(int &width, int &height) {
    for (const auto &o : ptc_wl.outputs) {
        if (o.output && o.mode_width > 0 && (o.entered || !width)) {
            const int scale = std::max(1, o.scale);
            width = o.mode_width / scale;
            height = o.mode_height / scale;
        }
    }
}

const wl_output_listener output_listener = {
    [](void *, wl_output *, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
       const char *, const char *, std::int32_t) {},
    [](void *, wl_output *output, std::uint32_t flags, std::int32_t width, std::int32_t height,
       std::int32_t) {
        ptc_wayland_output *o = output_of(output);
        if (o && (flags & WL_OUTPUT_MODE_CURRENT)) {
            o->resized = o->mode_width && (width != o->mode_width || height != o->mode_height);
            o->mode_width = width;
            o->mode_height = height;
        }
    },
    // An output the show is (or may be about to be) full screen on has a new
    // size: not every compositor configures the surface anew for it (weston
    // does not), so full screen is asked for again, which brings the configure.
    [](void *, wl_output *output) {
        ptc_wayland_output *o = output_of(output);
        if (o && o->resized && (o->entered || !on_an_output()) && ptc_wl.want_fullscreen &&
            ptc_wl.toplevel)
            xdg_toplevel_set_fullscreen(ptc_wl.toplevel, nullptr);
        if (o)
            o->resized = false;
        ptc_wl.relayout = true;
    },
    [](void *, wl_output *output, std::int32_t factor) {
        if (ptc_wayland_output *o = output_of(output))
            o->scale = std::clamp(factor, 1, largest_scale);
    },
    [](void *, wl_output *, const char *) {}, [](void *, wl_output *, const char *) {}};

const wl_surface_listener surface_listener = {[](void *, wl_surface *, wl_output *output) {
                                                  if (ptc_wayland_output *o = output_of(output)) {
                                                      o->entered = true;
                                                      ptc_wl.relayout = true;
                                                  }
                                              },
                                              [](void *, wl_surface *, wl_output *output) {
                                                  if (ptc_wayland_output *o = output_of(output)) {
                                                      o->entered = false;
                                                      ptc_wl.relayout = true;
                                                  }
                                              }};

const wp_fractional_scale_v1_listener fractional_listener = {
    [](void *, wp_fractional_scale_v1 *, std::uint32_t scale) {
        const int scale_120 = static_cast<int>(std::min<std::uint32_t>(scale, largest_scale * 120));
        if (scale_120 != ptc_wl.scale_120) {
            ptc_wl.scale_120 = scale_120;
            ptc_wl.relayout = true;
        }
    }};

const xdg_toplevel_listener toplevel_listener = {
    [](void *, xdg_toplevel *, std::int32_t width, std::int32_t height, wl_array *states) {
        ptc_wl.pending_width = width;
        ptc_wl.pending_height = height;
        ptc_wl.pending_fullscreen = false;
        const auto *state = static_cast<const std::uint32_t *>(states->data);
        for (std::size_t i = 0; i < states->size / sizeof *state; ++i)
            if (state[i] == XDG_TOPLEVEL_STATE_FULLSCREEN)
                ptc_wl.pending_fullscreen = true;
    },
    [](void *, xdg_toplevel *) { ptc_wl.quit = true; },
    [](void *, xdg_toplevel *, std::int32_t, std::int32_t) {},
    [](void *, xdg_toplevel *, wl_array *) {}};

// The configure is complete: its size (or the window's own, where the
// compositor leaves the size to the client) is the one in force from the
// next frame on.
const xdg_surface_listener shell_surface_listener = {
    [](void *, xdg_surface *surface, std::uint32_t serial) {
        ptc_wayland &w = ptc_wl;
        xdg_surface_ack_configure(surface, serial);
        int width = w.pending_width, height = w.pending_height;
        if (width <= 0 || height <= 0) {
            width = height = 0;
            if (w.pending_fullscreen)
                output_logical_size(width, height);
            if (width <= 0 || height <= 0) {
                width = ptc_wayland_window_width;
                height = ptc_wayland_window_height;
            }
        }
        width = std::min(width, largest_side);
        height = std::min(height, largest_side);
        if (!w.configured || width != w.width || height != w.height)
            w.relayout = true;
        w.width = width;
        w.height = height;
        w.fullscreen = w.pending_fullscreen;
        w.configured = true;
        // A full-screen size other than the output's may be one the
        // compositor had before the output changed (weston's, when an output
        // is resized just as the show starts): full screen is asked for once
        // more for each output size, which brings the configure again.
        int output_width = 0, output_height = 0;
        output_logical_size(output_width, output_height);
        if (w.fullscreen && w.want_fullscreen && output_width > 0 &&
            (output_width != width || output_height != height) &&
            (output_width != w.asked_width || output_height != w.asked_height)) {
            w.asked_width = output_width;
            w.asked_height = output_height;
            xdg_toplevel_set_fullscreen(w.toplevel, nullptr);
        }
    }};

} // namespace

ptc_wayland_surface_size ptc_wayland_size_for(int logical_width, int logical_height, int scale,
                                              int scale_120, bool can_use_viewport) {
    ptc_wayland_surface_size size{};
    size.logical_width = std::clamp(logical_width, 0, largest_side);
    size.logical_height = std::clamp(logical_height, 0, largest_side);
    if (can_use_viewport && scale_120 > 0) {
        const long long s = std::min(scale_120, largest_scale * 120);
        size.buffer_width = static_cast<int>((size.logical_width * s + 60) / 120);
        size.buffer_height = static_cast<int>((size.logical_height * s + 60) / 120);
        size.buffer_scale = 1;
        size.viewport = true;
    } else {
        const int s = std::clamp(scale, 1, largest_scale);
        size.buffer_width = size.logical_width * s;
        size.buffer_height = size.logical_height * s;
        size.buffer_scale = s;
    }
    return size;
}

void ptc_wayland_add_output(std::uint32_t name, std::uint32_t version) {
    for (auto &o : ptc_wl.outputs) {
        if (o.output)
            continue;
        o = ptc_wayland_output{};
        o.output = static_cast<wl_output *>(
            wl_registry_bind(ptc_wl.registry, name, &wl_output_interface, std::min(version, 2u)));
        o.name = name;
        o.scale = 1;
        wl_output_add_listener(o.output, &output_listener, nullptr);
        return;
    }
}

bool ptc_wayland_remove_output(std::uint32_t name) {
    for (auto &o : ptc_wl.outputs) {
        if (o.output && o.name == name) {
            wl_output_destroy(o.output);
            o = ptc_wayland_output{};
            return true;
        }
    }
    return false;
}

void ptc_wayland_make_surface(const char *title) {
    ptc_wayland &w = ptc_wl;
    w.surface = wl_compositor_create_surface(w.compositor);
    wl_surface_add_listener(w.surface, &surface_listener, nullptr);
    // Every pixel is opaque: nothing beneath needs drawing.
    wl_region *opaque = wl_compositor_create_region(w.compositor);
    wl_region_add(opaque, 0, 0, largest_side, largest_side);
    wl_surface_set_opaque_region(w.surface, opaque);
    wl_region_destroy(opaque);
    if (w.viewporter)
        w.viewport = wp_viewporter_get_viewport(w.viewporter, w.surface);
    if (w.viewport && w.fractional_manager) {
        w.fractional =
            wp_fractional_scale_manager_v1_get_fractional_scale(w.fractional_manager, w.surface);
        wp_fractional_scale_v1_add_listener(w.fractional, &fractional_listener, nullptr);
    }
    w.shell_surface = xdg_wm_base_get_xdg_surface(w.wm_base, w.surface);
    xdg_surface_add_listener(w.shell_surface, &shell_surface_listener, nullptr);
    w.toplevel = xdg_surface_get_toplevel(w.shell_surface);
    xdg_toplevel_add_listener(w.toplevel, &toplevel_listener, nullptr);
    xdg_toplevel_set_title(w.toplevel, title);
    // The desktop entry's name, so that the desktop shows the entry's icon and name.
    xdg_toplevel_set_app_id(w.toplevel, "example.vorbo.returns");
    if (w.decoration_manager) {
        w.decoration =
            zxdg_decoration_manager_v1_get_toplevel_decoration(w.decoration_manager, w.toplevel);
        zxdg_toplevel_decoration_v1_set_mode(w.decoration,
                                             ZXDG_TOPLEVEL_DECORATION_V1_MODE_SERVER_SIDE);
    }
    // The show keeps the screen awake while it plays.
    if (w.idle_manager)
        w.inhibitor = zwp_idle_inhibit_manager_v1_create_inhibitor(w.idle_manager, w.surface);
    w.want_fullscreen = true;
    xdg_toplevel_set_fullscreen(w.toplevel, nullptr);
    wl_surface_commit(w.surface);
}

void ptc_wayland_destroy_surface() {
    ptc_wayland &w = ptc_wl;
    if (w.inhibitor)
        zwp_idle_inhibitor_v1_destroy(w.inhibitor);
    if (w.decoration)
        zxdg_toplevel_decoration_v1_destroy(w.decoration);
    if (w.toplevel)
        xdg_toplevel_destroy(w.toplevel);
    if (w.shell_surface)
        xdg_surface_destroy(w.shell_surface);
    if (w.fractional)
        wp_fractional_scale_v1_destroy(w.fractional);
    if (w.viewport)
        wp_viewport_destroy(w.viewport);
    if (w.surface)
        wl_surface_destroy(w.surface);
    w.inhibitor = nullptr;
    w.decoration = nullptr;
    w.toplevel = nullptr;
    w.shell_surface = nullptr;
    w.fractional = nullptr;
    w.viewport = nullptr;
    w.surface = nullptr;
}

// Full screen, or a 640 x 480 window (decorated by the compositor where it
// offers that); the compositor's configure that follows brings the size.
void ptc_wayland_toggle_fullscreen() {
    ptc_wayland &w = ptc_wl;
    w.want_fullscreen = !w.want_fullscreen;
    if (w.want_fullscreen) {
        xdg_toplevel_set_min_size(w.toplevel, 0, 0);
        xdg_toplevel_set_max_size(w.toplevel, 0, 0);
        xdg_toplevel_set_fullscreen(w.toplevel, nullptr);
    } else {
        xdg_toplevel_set_min_size(w.toplevel, ptc_wayland_window_width, ptc_wayland_window_height);
        xdg_toplevel_set_max_size(w.toplevel, ptc_wayland_window_width, ptc_wayland_window_height);
        xdg_toplevel_unset_fullscreen(w.toplevel);
    }
}

bool ptc_wayland_lay_out() {
    ptc_wayland &w = ptc_wl;
    w.relayout = false;
    // A compositor too old for buffer scales takes buffers of the logical size.
    const bool scalable =
        wl_surface_get_version(w.surface) >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION;
    w.size = ptc_wayland_size_for(w.width, w.height, scalable ? whole_scale() : 1, w.scale_120,
                                  w.viewport && w.fractional);
    w.layout =
        ptc_lay_out(w.size.buffer_width, w.size.buffer_height, w.frame_width, w.frame_height);
    // Both apply with the next commit, which brings a buffer of the new size.
    if (w.viewport) {
        if (w.size.viewport)
            wp_viewport_set_destination(w.viewport, w.size.logical_width, w.size.logical_height);
        else
            wp_viewport_set_destination(w.viewport, -1, -1);
    }
    if (scalable && w.size.buffer_scale != w.applied_buffer_scale) {
        wl_surface_set_buffer_scale(w.surface, w.size.buffer_scale);
        w.applied_buffer_scale = w.size.buffer_scale;
    }
    ptc_wayland_drop_stale_buffers();
    return w.layout.scale >= 1;
}
