// What each of vorbo-desktop's back-ends gives the presenter that chooses among them.
#pragma once

#include "ptc/desktop.h"

#include <cstdint>

// One back-end: the presenter's calls, with the meanings of ptc/ptc.h and
// ptc/desktop.h.
struct ptc_desktop_backend {
    const char *name; // "X11", "Wayland": how messages name it
    int (*open)(const char *title, int width, int height);
    int (*update)(void *frame);
    int (*process_events)();
    void (*close)();
    bool (*wait_for_frame)(int timeout_ms);
    std::int64_t (*next_frame_time)();
};

extern const ptc_desktop_backend ptc_desktop_x11;
extern const ptc_desktop_backend ptc_desktop_wayland;

// What a key press does, by its keysym (X11 and xkbcommon share the values;
// the unshifted one, so that Shift+Escape counts too). The show's own keys
// are queued for ptc_take_command; the rest the back-end acts on.
enum class ptc_key_action {
    none,         // not a key of the show's, or queued for the show
    quit,         // Escape, q: the quit contract
    toggle_window // f, F11: full screen to a window and back
};
ptc_key_action ptc_desktop_key(unsigned long keysym);

// CLOCK_MONOTONIC now, in nanoseconds.
std::int64_t ptc_monotonic_ns();
