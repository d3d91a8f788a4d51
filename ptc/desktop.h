// vorbo-desktop's presenter beyond the four calls: paced by the display, when a frame is seen,
// keys.
//
// The desktop back-ends (a native Wayland client, or an X11 window) show the
// frame at the largest whole scale that fits their window, centred on black,
// and are paced by the display: ptc_wait_for_frame tells when the display
// wants the next frame, and ptc_next_frame_time when that frame will be on
// screen, so that it can be drawn for that moment. Escape, q and the
// window's close end the show through ptc_cleanup_callback, with the quit
// contract of ptc_update, wherever the events are read; f and F11 switch
// between full screen and a window inside the presenter; the keys the show
// itself reacts to wait in a queue for ptc_take_command.
#pragma once

#include "ptc/ptc.h"

#include <cstdint>

// What the viewer asked of the show with a key.
enum ptc_command {
    ptc_command_none,
    ptc_command_pause,    // Space: pause, or go on
    ptc_command_previous, // Left: back to the start of the previous scene
    ptc_command_next,     // Right: on to the start of the next scene
};

// Waits until the display wants the next frame, or timeout_ms have passed,
// reading the events meanwhile (keys, a new size, the window's close). true:
// draw a frame now and hand it to ptc_update; false: not now (time is up, or
// the window is hidden and the display wants no frames).
bool ptc_wait_for_frame(int timeout_ms);

// When the frame handed to the next ptc_update will be on screen: the
// display's next refresh, in nanoseconds of CLOCK_MONOTONIC; 0 when the
// presenter cannot tell.
std::int64_t ptc_next_frame_time();

// The viewer's oldest command not yet taken, or ptc_command_none.
ptc_command ptc_take_command();
