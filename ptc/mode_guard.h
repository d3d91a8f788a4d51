// The mode guard: a process that waits for the full-screen show and switches the video mode back.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

// Once the open has switched the mode, splits the process so that the one
// that was started waits for the rest and switches the mode back to previous
// (the one current at open) at the end, also when the show never reaches
// ptc_close. Two pipes tie the processes together: the show learns from one
// that the guard was killed (and restores the mode itself, see ptc_update),
// the guard from the other that the show is gone. 1 in the process that goes
// on, 0 (errno saying why) when no process could be split off.
int ptc_guard_mode(XF86VidModeModeInfo *previous);

// In the show's own process: tells the mode guard which process to wait for.
void ptc_tell_guard_the_show();

// True once the mode guard has gone (killed: it never ends before the show).
bool ptc_guard_gone();
