// The demo driver's public header: the frame, the clock, the switches and title, the frame step.
#pragma once

#include "demo/clock.h"        // starttime, time(), time_source
#include "demo/frame_buffer.h" // frame_width ... frame_centre_y, frame, frame_lines, clear
#include "demo/settings.h"     // nogfx, nosound, demoname
#include "demo/show.h"         // gfxinit, show_seconds, do_init, do_frame, fireworks
