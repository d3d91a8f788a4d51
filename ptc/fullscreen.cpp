// Full-screen presenter: each frame converted straight into video memory through DGA, in a mode of
// its size.
#include "ptc/dga_video.h"
#include "ptc/mode_guard.h"
#include "ptc/privilege.h"
#include "ptc/ptc.h"
#include "ptc/x11_shared.h"

#include <X11/Xlib.h>
#include <X11/extensions/xf86dga1.h>
#include <X11/extensions/xf86vmode.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/prctl.h>
#include <sys/types.h>
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

// What the open has taken beyond the state above, so that release knows
// what to give back.
static bool ptc_mode_chosen;        // the mode of the frame's size, or the current one kept
static bool ptc_input_grabbed;      // the keyboard and pointer grabs asked for
static bool ptc_direct_video_taken; // handed to the DGA library, which splits the process

// Undoes whatever the state says the open has taken, the last step first:
// direct video off, the mode current at open back and the mode list freed,
// the grabs released, the connection closed. The failure exit of every step
// of the open, and the close.
static void release() {
    if (ptc_direct_video_taken) {
        ptc_dga_video.direct_video(ptc_display, ptc_screen, 0);
        ptc_direct_video_taken = false;
    }
    if (ptc_mode_chosen) {
        XF86VidModeSwitchToMode(ptc_display, ptc_screen, ptc_modeinfodata[ptc_previousmode_number]);
        ptc_mode_chosen = false;
    }
    if (ptc_modeinfodata) {
        XFree(ptc_modeinfodata);
        ptc_modeinfodata = nullptr;
    }
    if (ptc_input_grabbed) {
        XUngrabKeyboard(ptc_display, CurrentTime);
        XUngrabPointer(ptc_display, CurrentTime);
        ptc_input_grabbed = false;
    }
    if (ptc_display)
        ptc_close_display();
}

// The steps of the open, in order. Each records why it failed and returns
// false; the open then releases what the steps before it took.

// The DGA extension, and the video memory mapped (the one step that needs
// root) in one linear piece.
static bool map_video_memory() {
    if (!XF86DGAQueryExtension(ptc_display, &ptc_event_base, &ptc_error_base)) {
        ptc_fail_because("the X server has no XFree86-DGA extension (today's drivers and Xwayland "
                         "have none); vorbo-desktop shows the show full screen without it");
        return false;
    }
    Status mapped = 0;
    if (!ptc_with_root([&] {
            mapped = ptc_dga_video.get_video(ptc_display, ptc_screen, &ptc_framebuffer_address,
                                             &ptc_framebuffer_width, &ptc_framebuffer_banksize,
                                             &ptc_framebuffer_memory);
        })) {
        ptc_fail_because("cannot take root back to map the video memory");
        return false;
    }
    if (!mapped || !ptc_framebuffer_address || ptc_framebuffer_width <= 0) {
        if (!*ptc_failure_reason())
            ptc_fail_because("the video memory could not be mapped");
        return false;
    }
    // A banked frame buffer cannot be written in one piece. The two numbers
    // are compared as reported, bytes against kilobytes: a linear buffer's
    // bank is the whole memory, so its byte count is always the larger.
    if (ptc_framebuffer_banksize < ptc_framebuffer_memory) {
        ptc_fail_because("the video memory is banked (%d-byte banks), and cannot be written in "
                         "one piece",
                         ptc_framebuffer_banksize);
        return false;
    }
    return true;
}

// The VidMode extension, its mode list, the current mode, and the entry to go
// back to at the end.
static bool read_modes() {
    if (!XF86VidModeQueryExtension(ptc_display, &ptc_event_base, &ptc_error_base)) {
        ptc_fail_because("the X server has no XFree86-VidMode extension");
        return false;
    }
    if (!XF86VidModeGetAllModeLines(ptc_display, ptc_screen, &ptc_totalmodes, &ptc_modeinfodata)) {
        ptc_fail_because("the X server gave no list of video modes");
        return false;
    }
    if (ptc_totalmodes <= 0 || !ptc_modeinfodata ||
        !XF86VidModeGetModeLine(ptc_display, ptc_screen, &ptc_dotclock, &ptc_currentmodeline)) {
        ptc_fail_because("the X server gave no current video mode");
        return false;
    }
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
    return true;
}

// Only a mode of exactly the frame's size is used; without one the frame
// is centred in the current mode.
static bool switch_to_frame_mode(int width, int height) {
    ptc_emulate_fullscreen = 1;
    for (ptc_modecounter = 0; ptc_modecounter < ptc_totalmodes; ++ptc_modecounter) {
        XF86VidModeModeInfo *mode = ptc_modeinfodata[ptc_modecounter];
        if (mode->hdisplay == width && mode->vdisplay == height) {
            if (!XF86VidModeSwitchToMode(ptc_display, ptc_screen, mode)) {
                ptc_fail_because("the X server refused to switch to %dx%d", width, height);
                return false;
            }
            ptc_emulate_fullscreen = 0;
            break;
        }
    }
    ptc_mode_chosen = true;
    XFlush(ptc_display);
    ptc_root_window = RootWindow(ptc_display, ptc_screen);
    return true;
}

// Another client's grab means the show could not have the keyboard (and
// so no Escape) or the pointer: give up rather than run deaf.
static bool grab_input() {
    ptc_input_grabbed = true;
    if (XGrabKeyboard(ptc_display, ptc_root_window, False, GrabModeAsync, GrabModeAsync,
                      CurrentTime) != GrabSuccess ||
        XGrabPointer(ptc_display, ptc_root_window, True,
                     ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                     GrabModeAsync, None, None, CurrentTime) != GrabSuccess) {
        ptc_fail_because("another program holds the keyboard or the pointer");
        return false;
    }
    return true;
}

static bool give_up_root() {
    if (!ptc_drop_privilege()) {
        ptc_fail_because("cannot give up root privilege for good");
        return false;
    }
    return true;
}

// Where the frame lies in video memory: at the start, or centred in the
// visible area when the mode was kept.
static bool place_frame(int width, int height) {
    if (!ptc_dga_video.get_viewport_size(ptc_display, ptc_screen, &ptc_screen_width,
                                         &ptc_screen_height)) {
        ptc_fail_because("the X server did not tell the size of the visible screen");
        return false;
    }

    // The frame must lie inside the visible area: a visible area smaller than
    // the frame would put the centred frame before the start of video memory
    // (a negative offset) or wrap its rows. The visible area itself, which is
    // cleared when direct video starts, must lie inside the mapped memory, whose length is the
    // bank size in bytes.
    if (ptc_screen_width < width || ptc_screen_height < height ||
        ptc_framebuffer_width < ptc_screen_width ||
        static_cast<long long>(ptc_framebuffer_width) * ptc_screen_height * ptc_output_pitch >
            ptc_framebuffer_banksize) {
        ptc_fail_because("the visible screen (%dx%d, lines of %d pixels in %d bytes of video "
                         "memory) cannot hold the %dx%d frame",
                         ptc_screen_width, ptc_screen_height, ptc_framebuffer_width,
                         ptc_framebuffer_banksize, width, height);
        return false;
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
    return true;
}

// In the show, just split off by the DGA library: the process that waits for
// it must not be killed and leave the show running on alone, so the show
// ends with it. False when it is already gone.
static bool end_with_waiting_process(pid_t waiting) {
    return prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && getppid() == waiting;
}

// The processes: the mode guard split off when the mode was switched, then
// the DGA library's split, after which this process is the show's.
static bool split_off_show() {
    if (!ptc_emulate_fullscreen && !ptc_guard_mode(ptc_modeinfodata[ptc_previousmode_number])) {
        ptc_fail_because("cannot start the process that switches the video mode back: %s",
                         std::strerror(errno));
        return false;
    }

    const pid_t waiting = getpid();
    ptc_direct_video_taken = true;
    if (ptc_dga_video.fork_app(ptc_screen) != 0) {
        ptc_fail_because("the DGA library could not split off the show's process");
        return false;
    }
    ptc_tell_guard_the_show();
    if (!end_with_waiting_process(waiting)) {
        ptc_fail_because("the program ended while the screen was being set up");
        return false;
    }
    return true;
}

// Direct video on, the visible area black, the keys selected, the viewport at
// the start of video memory.
static void start_direct_video() {
    ptc_dga_video.direct_video(ptc_display, ptc_screen,
                               XF86DGADirectGraphics | XF86DGADirectMouse | XF86DGADirectKeyb);

    std::memset(ptc_framebuffer_address, 0,
                static_cast<size_t>(ptc_framebuffer_width) * ptc_screen_height * ptc_output_pitch);

    XSelectInput(ptc_display, DefaultRootWindow(ptc_display), KeyPressMask | KeyReleaseMask);
    ptc_dga_video.set_viewport(ptc_display, ptc_screen, 0, 0);
    XFlush(ptc_display);
}

int ptc_open(const char *, int width, int height) {
    if (!ptc_root_available()) {
        // sudo's path may lack the program's: the hint names it as started (the launcher's path).
        ptc_fail_because("%s must be started as root (sudo %s) and needs the XFree86-DGA "
                         "extension, which today's drivers and Xwayland lack; vorbo-window and "
                         "vorbo-desktop need neither",
                         ptc_program_name(), program_invocation_name);
        return 0;
    }
    if (!ptc_open_display())
        return 0;
    if (!map_video_memory() || !read_modes() || !switch_to_frame_mode(width, height) ||
        !grab_input() || !give_up_root() || !place_frame(width, height) || !split_off_show()) {
        release();
        return 0;
    }
    start_direct_video();
    ptc_viewport_width = width;
    ptc_viewport_height = height;
    return 1;
}

int ptc_update(void *frame) {
    // No waiting for the display's refresh: rows land in visible memory top to bottom.
    ptc_convert_frame(frame, ptc_framebuffer_address + ptc_framebuffer_start,
                      ptc_framebuffer_pitch);
    // Killed, the process that was started can no longer switch the mode
    // back: the show does it itself and ends as on Escape.
    if (ptc_guard_gone()) {
        release();
        ptc_cleanup_callback();
        std::exit(0);
    }
    return ptc_finish_update();
}

void ptc_close() {
    release();
}
