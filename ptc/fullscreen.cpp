// Full-screen presenter: each frame converted straight into video memory through DGA, in a mode of
// its size.
#include "ptc/dga_video.h"
#include "ptc/ptc.h"
#include "ptc/x11_shared.h"

#include <X11/Xlib.h>
#include <X11/extensions/xf86dga1.h>
#include <X11/extensions/xf86vmode.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

// The full screen's own state, from ptc_open to ptc_close (the display, its
// pixel layout and converter are the core's, in x11_shared.cpp).
static int ptc_screen_width, ptc_screen_height;
static char *ptc_framebuffer_address;
static int ptc_framebuffer_width;
static int ptc_framebuffer_banksize;
static int ptc_framebuffer_memory;
static int ptc_framebuffer_start;
static int ptc_framebuffer_pitch;
static int ptc_totalmodes;
static int ptc_dotclock;
static int ptc_modecounter;
static int ptc_previousmode_number;
static int ptc_event_base, ptc_error_base;
static int ptc_emulate_fullscreen;
static XF86VidModeModeInfo **ptc_modeinfodata;
static XF86VidModeModeLine ptc_currentmodeline;

// The failure exit of the steps before the mode list is held.
static int close_display() {
    ptc_close_display();
    return 0;
}

// The failure exit of the steps that hold the mode list but no grab yet.
static int free_modes_and_close_display() {
    if (ptc_modeinfodata)
        XFree(ptc_modeinfodata);
    ptc_modeinfodata = nullptr;
    return close_display();
}

// Undoes an open that got as far as the grabs: direct video off (if it was
// switched on), the mode current at open back, the mode list freed, the grabs
// released, the connection closed. Also the close.
static void release(bool direct_video_on) {
    if (direct_video_on)
        ptc_dga_video.direct_video(ptc_display, ptc_screen, 0);
    XF86VidModeSwitchToMode(ptc_display, ptc_screen, ptc_modeinfodata[ptc_previousmode_number]);
    XFree(ptc_modeinfodata);
    ptc_modeinfodata = nullptr;
    XUngrabKeyboard(ptc_display, CurrentTime);
    XUngrabPointer(ptc_display, CurrentTime);
    ptc_close_display();
}

// Gives up root for good: the real, effective and saved user ids must all be
// the real one afterwards. A process whose effective id is 0 but which lacks
// the capability to set ids would otherwise "succeed" in changing only its
// effective id and keep 0 as its saved id, free to take it back.
static bool drop_privilege() {
    uid_t user = getuid();
    if (setuid(user) != 0)
        return false;
    uid_t real, effective, saved;
    if (getresuid(&real, &effective, &saved) != 0)
        return false;
    return real == user && effective == user && saved == user;
}

static int ignore_x_error(Display *, XErrorEvent *) {
    return 0;
}

// The waiting half of the mode guard: waits for the show to end however it
// ends (close, Escape, a signal), then switches the mode current at open back
// through a connection of its own, and ends with the status of the process it
// waited for (255 when a signal killed it). Never returns.
[[noreturn]] static void wait_and_restore_mode(pid_t show) {
    // Like system(): the terminal's interrupt keys end the show, not the guard.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGQUIT, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);
    // The connection is the show's alone: this process speaks only through a
    // connection of its own, and its copy must not keep the show's open.
    close(ConnectionNumber(ptc_display));

    int status = 0;
    pid_t ended;
    do {
        ended = waitpid(show, &status, 0);
    } while (ended < 0 && errno == EINTR);

    Display *display = XOpenDisplay(nullptr);
    if (display) {
        // A mode the server no longer offers must not end this process
        // through the default error handler with a status of its own.
        XSetErrorHandler(ignore_x_error);
        XF86VidModeSwitchToMode(display, ptc_screen, ptc_modeinfodata[ptc_previousmode_number]);
        XCloseDisplay(display);
    }
    _exit(ended < 0 ? 1 : WIFEXITED(status) ? WEXITSTATUS(status) : 255);
}

// When the open switched the mode, splits the process so that the one that
// was started waits for the rest and restores the mode at the end, also when
// the show never reaches ptc_close. 1 in the process that goes on, 0 when no
// process could be split off.
static int guard_mode() {
    if (ptc_emulate_fullscreen)
        return 1;
    pid_t show = fork();
    if (show < 0)
        return 0;
    if (show > 0)
        wait_and_restore_mode(show);
    return 1;
}

int ptc_open(const char *, int width, int height) {
    if (geteuid() != 0)
        return 0;

    if (!ptc_open_display())
        return 0;

    if (!XF86DGAQueryExtension(ptc_display, &ptc_event_base, &ptc_error_base))
        return close_display();

    // The video memory is mapped here, while the process is still root.
    if (!ptc_dga_video.get_video(ptc_display, ptc_screen, &ptc_framebuffer_address,
                                 &ptc_framebuffer_width, &ptc_framebuffer_banksize,
                                 &ptc_framebuffer_memory) ||
        !ptc_framebuffer_address || ptc_framebuffer_width <= 0)
        return close_display();
    // A banked frame buffer cannot be written in one piece. The two numbers
    // are compared as reported, bytes against kilobytes: a linear buffer's
    // bank is the whole memory, so its byte count is always the larger.
    if (ptc_framebuffer_banksize < ptc_framebuffer_memory)
        return close_display();

    if (!XF86VidModeQueryExtension(ptc_display, &ptc_event_base, &ptc_error_base))
        return close_display();

    if (!XF86VidModeGetAllModeLines(ptc_display, ptc_screen, &ptc_totalmodes, &ptc_modeinfodata))
        return close_display();
    if (ptc_totalmodes <= 0 || !ptc_modeinfodata ||
        !XF86VidModeGetModeLine(ptc_display, ptc_screen, &ptc_dotclock, &ptc_currentmodeline))
        return free_modes_and_close_display();
    if (ptc_currentmodeline.privsize > 0 && ptc_currentmodeline.c_private)
        XFree(ptc_currentmodeline.c_private);
    ptc_currentmodeline.c_private = nullptr;

    // The mode to go back to: the first entry of the current mode's size
    // (timings are not compared).
    ptc_previousmode_number = 0;
    for (ptc_modecounter = 0; ptc_modecounter < ptc_totalmodes; ++ptc_modecounter) {
        XF86VidModeModeInfo *mode = ptc_modeinfodata[ptc_modecounter];
        if (mode->hdisplay == ptc_currentmodeline.hdisplay &&
            mode->vdisplay == ptc_currentmodeline.vdisplay) {
            ptc_previousmode_number = ptc_modecounter;
            ptc_screen_width = mode->hdisplay;
            ptc_screen_height = mode->vdisplay;
            break;
        }
    }

    // Only a mode of exactly the frame's size is used; without one the frame
    // is centred in the current mode.
    ptc_emulate_fullscreen = 1;
    for (ptc_modecounter = 0; ptc_modecounter < ptc_totalmodes; ++ptc_modecounter) {
        XF86VidModeModeInfo *mode = ptc_modeinfodata[ptc_modecounter];
        if (mode->hdisplay == width && mode->vdisplay == height) {
            if (!XF86VidModeSwitchToMode(ptc_display, ptc_screen, mode))
                return free_modes_and_close_display();
            ptc_emulate_fullscreen = 0;
            break;
        }
    }

    XFlush(ptc_display);
    ptc_root_window = RootWindow(ptc_display, ptc_screen);

    // Another client's grab means the show could not have the keyboard (and
    // so no Escape) or the pointer: give up rather than run deaf.
    if (XGrabKeyboard(ptc_display, ptc_root_window, False, GrabModeAsync, GrabModeAsync,
                      CurrentTime) != GrabSuccess ||
        XGrabPointer(ptc_display, ptc_root_window, True,
                     ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                     GrabModeAsync, None, None, CurrentTime) != GrabSuccess) {
        release(false);
        return 0;
    }

    if (!drop_privilege()) {
        release(false);
        return 0;
    }

    if (!ptc_dga_video.get_viewport_size(ptc_display, ptc_screen, &ptc_screen_width,
                                         &ptc_screen_height)) {
        release(false);
        return 0;
    }

    // The frame must lie inside the visible area: a visible area smaller than
    // the frame would put the centred frame before the start of video memory
    // (a negative offset) or wrap its rows. The visible area itself, which is
    // cleared below, must lie inside the mapped memory, whose length is the
    // bank size in bytes.
    if (ptc_screen_width < width || ptc_screen_height < height ||
        ptc_framebuffer_width < ptc_screen_width ||
        static_cast<long long>(ptc_framebuffer_width) * ptc_screen_height * ptc_output_pitch >
            ptc_framebuffer_banksize) {
        release(false);
        return 0;
    }

    // Each halving truncates toward zero; with the size check above both
    // halves are at least 0.
    if (ptc_emulate_fullscreen)
        ptc_framebuffer_start = ((ptc_screen_height - height) / 2 * ptc_framebuffer_width +
                                 (ptc_screen_width - width) / 2) *
                                ptc_output_pitch;
    else
        ptc_framebuffer_start = 0;
    ptc_framebuffer_pitch = ptc_framebuffer_width * ptc_output_pitch;

    if (!guard_mode()) {
        release(false);
        return 0;
    }

    if (ptc_dga_video.fork_app(ptc_screen) != 0) {
        release(true);
        return 0;
    }

    ptc_dga_video.direct_video(ptc_display, ptc_screen,
                               XF86DGADirectGraphics | XF86DGADirectMouse | XF86DGADirectKeyb);

    std::memset(ptc_framebuffer_address, 0,
                static_cast<size_t>(ptc_framebuffer_width) * ptc_screen_height * ptc_output_pitch);

    XSelectInput(ptc_display, DefaultRootWindow(ptc_display), KeyPressMask | KeyReleaseMask);
    ptc_dga_video.set_viewport(ptc_display, ptc_screen, 0, 0);
    XFlush(ptc_display);

    ptc_viewport_width = width;
    ptc_viewport_height = height;
    return 1;
}

int ptc_update(void *frame) {
    // No waiting for the display's refresh: rows land in visible memory top to bottom.
    ptc_convert_frame(frame, ptc_framebuffer_address + ptc_framebuffer_start,
                      ptc_framebuffer_pitch);
    return ptc_finish_update();
}

void ptc_close() {
    release(true);
}
