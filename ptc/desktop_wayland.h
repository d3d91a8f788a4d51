// vorbo-desktop's Wayland back-end inside: its one state structure and the calls its files share.
//
// The back-end is a native client: an xdg-shell toplevel, full screen on the
// output the compositor chooses (or a 640 x 480 window), shown through
// shared-memory buffers at the output's physical pixels, paced by frame
// callbacks, timed by presentation feedback, keys through libxkbcommon. Its
// files split it by job: desktop_wayland.cpp (connection, open and close,
// pacing, the frame), desktop_wayland_window.cpp (surface, outputs, size and
// scale), desktop_wayland_buffers.cpp (shared memory), desktop_wayland_input.cpp
// (seat, keyboard, pointer).
#pragma once

#include "ptc/scale.h"

#include <cstddef>
#include <cstdint>
#include <ctime>

struct wl_buffer;
struct wl_callback;
struct wl_compositor;
struct wl_display;
struct wl_keyboard;
struct wl_output;
struct wl_pointer;
struct wl_registry;
struct wl_seat;
struct wl_shm;
struct wl_surface;
struct wp_fractional_scale_manager_v1;
struct wp_fractional_scale_v1;
struct wp_presentation;
struct wp_presentation_feedback;
struct wp_viewport;
struct wp_viewporter;
struct xdg_surface;
struct xdg_toplevel;
struct xdg_wm_base;
struct xkb_context;
struct xkb_keymap;
struct xkb_state;
struct zwp_idle_inhibit_manager_v1;
struct zwp_idle_inhibitor_v1;
struct zxdg_decoration_manager_v1;
struct zxdg_toplevel_decoration_v1;

// An output the compositor offers: its integer scale and mode (physical
// pixels), and whether the surface is on it now.
struct ptc_wayland_output {
    wl_output *output;
    std::uint32_t name; // its global's name, for its removal
    int scale;          // 1 until the output says otherwise
    int mode_width, mode_height;
    bool resized; // its mode changed since its last done
    bool entered;
};

// One shared-memory buffer of the surface's pixel size. A buffer is busy from
// its attach until the compositor releases it, and is never written meanwhile.
// Fresh memory is zero, which in XRGB8888 is black: the border around the
// frame is never written again while the buffer lives.
struct ptc_wayland_buffer {
    wl_buffer *buffer;
    void *pixels;
    std::size_t bytes;
    int width, height, stride;
    bool busy;
    std::uint32_t *held; // the frame last converted into it (frame_width x frame_height)
    bool held_valid;
};

// What the surface's pixels are: a buffer of buffer_width x buffer_height
// (the output's physical pixels), shown either with a buffer scale (whole
// scales) or through a viewport of the logical size (fractional scales).
struct ptc_wayland_surface_size {
    int buffer_width, buffer_height;
    int buffer_scale; // for wl_surface.set_buffer_scale; 1 with a viewport
    bool viewport;    // the buffer is mapped onto the logical size by wp_viewport
    int logical_width, logical_height;
};

// The size of the surface's buffer for a logical size: at a fractional scale
// (in 120ths, where the compositor sends one and a viewport can map it), the
// logical size times that scale rounded half away from zero; else the
// logical size times the whole scale.
ptc_wayland_surface_size ptc_wayland_size_for(int logical_width, int logical_height, int scale,
                                              int scale_120, bool can_use_viewport);

constexpr int ptc_wayland_max_outputs = 16;
constexpr int ptc_wayland_buffer_count = 3;
constexpr int ptc_wayland_max_feedbacks = 8;
// A logical size for the window when the compositor leaves it to the client.
constexpr int ptc_wayland_window_width = 640, ptc_wayland_window_height = 480;

// The back-end's whole state, from open to close: zero when nothing is held.
// The release undoes whatever is set, in the reverse order of the open.
struct ptc_wayland {
    // The connection and the globals bound from it.
    wl_display *display;
    wl_registry *registry;
    wl_compositor *compositor;
    wl_shm *shm;
    bool shm_has_xrgb8888;
    xdg_wm_base *wm_base;
    wp_viewporter *viewporter;
    wp_fractional_scale_manager_v1 *fractional_manager;
    wp_presentation *presentation;
    clockid_t presentation_clock;
    bool presentation_clock_known;
    zxdg_decoration_manager_v1 *decoration_manager;
    zwp_idle_inhibit_manager_v1 *idle_manager;
    wl_seat *seat;
    ptc_wayland_output outputs[ptc_wayland_max_outputs];

    // Input.
    wl_keyboard *keyboard;
    wl_pointer *pointer;
    xkb_context *xkb;
    xkb_keymap *keymap;
    xkb_state *key_state;

    // The surface and its roles.
    wl_surface *surface;
    xdg_surface *shell_surface;
    xdg_toplevel *toplevel;
    zxdg_toplevel_decoration_v1 *decoration;
    wp_viewport *viewport;
    wp_fractional_scale_v1 *fractional;
    zwp_idle_inhibitor_v1 *inhibitor;

    // The configure being received, and the one in force.
    int pending_width, pending_height;
    bool pending_fullscreen;
    bool configured;
    int width, height; // logical size in force (the configure's, or the window's own)
    bool fullscreen;   // as the compositor last said
    bool want_fullscreen;
    int asked_width, asked_height; // the output size full screen was last asked for again
    int scale_120;                 // the fractional scale the compositor prefers; 0 until it says
    bool relayout; // size, output or scale changed: the layout is made again before the next frame

    // The layout in force: the buffer's pixels and where the frame goes in them.
    ptc_wayland_surface_size size;
    int applied_buffer_scale;
    ptc_layout_s layout;
    int frame_width, frame_height;
    ptc_widener_t widen;
    unsigned char *row; // one converted source row (when the scale is above 1)
    ptc_wayland_buffer buffers[ptc_wayland_buffer_count];
    int attached_width, attached_height; // of the buffer the surface shows now
    std::uint32_t *last_frame;           // the frame committed last
    bool last_frame_valid;               // false until a frame is committed at the layout in force

    // Pacing and timing.
    wl_callback *frame_callback; // asked for with the last commit, not yet done
    struct wp_presentation_feedback *feedbacks[ptc_wayland_max_feedbacks];
    std::int64_t shown_ns;   // when the last frame was shown (CLOCK_MONOTONIC), 0 unknown
    std::int64_t refresh_ns; // the output's refresh period, 0 unknown

    bool quit; // Escape, q or the close: the quit contract once the events are read
};

// The one instance (one presenter per process).
extern ptc_wayland ptc_wl;

// desktop_wayland_window.cpp: the globals' listeners for outputs, and the
// surface with its roles. make_surface asks for full screen and commits
// without a buffer; the compositor's first configure follows.
void ptc_wayland_add_output(std::uint32_t name, std::uint32_t version);
bool ptc_wayland_remove_output(std::uint32_t name);
void ptc_wayland_make_surface(const char *title);
void ptc_wayland_destroy_surface();
void ptc_wayland_toggle_fullscreen();
// The layout for the size and scale in force: false when the frame does not
// fit the surface's pixels (they are then left black).
bool ptc_wayland_lay_out();

// desktop_wayland_buffers.cpp: a free buffer of the layout's size, made when
// none is (null with the reason recorded when memory is refused).
ptc_wayland_buffer *ptc_wayland_free_buffer();
void ptc_wayland_destroy_buffer(ptc_wayland_buffer &buffer);
// The buffers of another size than the layout's that the compositor does not hold.
void ptc_wayland_drop_stale_buffers();

// desktop_wayland_input.cpp: the seat's keyboard and pointer.
void ptc_wayland_bind_seat(std::uint32_t name, std::uint32_t version);
void ptc_wayland_release_input();
// One key pressed, by its evdev code: the key map's action.
void ptc_wayland_key_pressed(std::uint32_t key);
