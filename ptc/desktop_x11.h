// vorbo-desktop's X11 back-end inside: its one state structure, and the jobs its files share.
//
// desktop_x11.cpp opens and closes, reads the events and paces the show;
// desktop_x11_window.cpp makes the window (its properties, the monitor it
// covers, full screen or not, the screen saver held off); desktop_x11_frame.cpp
// lays the frame out in the window and presents it.
#pragma once

#include "ptc/scale.h"
#include "ptc/x11_shared.h"

#include <X11/extensions/Xfixes.h>
#include <cstdint>
#include <vector>

// A rectangle of the root window (a monitor).
struct ptc_x11_rect_s {
    int x, y, width, height;
};

// Everything the X11 back-end holds from open to close, zero when closed.
// What the core shares (the display, its pixel layout, the converter) is
// x11_shared.cpp's.
struct ptc_x11_desktop_s {
    int frame_width, frame_height;

    // The window and what it asked of the server (desktop_x11_window.cpp).
    Window window;
    bool managed;                // a window manager that makes windows full screen runs
    bool full_screen;            // as the manager last set the window's state; always without one
    bool keyboard_grabbed;       // without a manager, Escape reaches no one else
    bool screen_saver_suspended; // the screen saver and DPMS are held off
    Cursor blank_cursor;
    bool cursor_hidden;
    int randr_event_base;   // RandR's first event number; 0 without RandR
    bool randr_monitors;    // the server lists monitors (RandR 1.5)
    ptc_x11_rect_s monitor; // where the window goes: the primary monitor, else the first
    Atom wm_state, wm_state_fullscreen, bypass_compositor;

    // What the server last said of the window.
    int width, height; // its size
    bool mapped;
    bool obscured; // wholly covered by other windows

    // The frame in the window (desktop_x11_frame.cpp).
    bool layout_stale;   // the window's size changed: lay the frame out before the next one
    bool repaint_all;    // the window lost pixels (mapped, exposed, laid out): show all of the next
    ptc_layout_s layout; // the frame's scale and place in the window
    XImage *image;       // the scaled frame, frame_width k x frame_height k display pixels
    XShmSegmentInfo segment;
    int image_scale;    // the k the image was made for
    unsigned char *row; // one converted source row, widened from (k > 1)
    ptc_widener_t widen;
    std::vector<std::uint32_t> held; // the source frame the image holds, to see what changed
    bool held_valid;

    // Presenting at the display's refresh (X Present), where the server has it.
    int present_opcode; // the extension's major opcode; 0 without it
    Pixmap pixmap;      // what is presented: the image's own segment, or a copy put into it
    bool pixmap_shared;
    XID present_events;
    XserverRegion update_region; // the part of the pixmap a present copies
    unsigned serial;
    int pending;               // presented, and not yet reported shown
    std::int64_t presented_ns; // when the last frame was presented (CLOCK_MONOTONIC)
    std::int64_t shown_ns;     // when the last frame reported shown was
    std::uint64_t shown_msc;   // and at which refresh of the display
    std::int64_t refresh_ns;   // the display's refresh period, as the reports show it
};

extern ptc_x11_desktop_s ptc_x11;

// desktop_x11_window.cpp
// Makes the window on the monitor it belongs on, maps it and waits until it
// is, takes the keyboard where no manager runs, holds the screen saver off.
// false with the reason recorded; what was made stays for ptc_x11_release_window.
bool ptc_x11_make_window(const char *title);
// Undoes whatever ptc_x11_make_window did, in reverse order.
void ptc_x11_release_window();
// Lets the screen saver and DPMS run again (also before the quit hook).
void ptc_x11_release_screen_saver();
// f, F11: asks the manager to switch between full screen and a window.
void ptc_x11_toggle_full_screen();
// The manager changed the window's state: the pointer and the compositor follow.
void ptc_x11_note_window_state();
// The screen's monitors changed: without a manager the window moves to its monitor.
void ptc_x11_follow_monitors();

// desktop_x11_frame.cpp
// Starts presenting (X Present where the server has it) and lays the first frame out.
bool ptc_x11_start_frame();
// Lays the frame out in the window's size: the largest whole scale that
// fits, centred; the image remade for a new scale, black around the frame.
// false when no image could be made for it (nothing is then shown).
bool ptc_x11_lay_out();
// Converts the frame's changed pixels into the image and shows them.
void ptc_x11_show(const void *frame);
// Waits until the frame presented last is shown, or timeout_ms have passed.
void ptc_x11_await_presentation(int timeout_ms);
// A Present completion, and what it tells.
bool ptc_x11_is_completion(const XEvent &event);
void ptc_x11_note_completion(XEvent &event);
// Undoes whatever ptc_x11_start_frame and the layouts made.
void ptc_x11_release_frame();
