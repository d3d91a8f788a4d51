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
#include <fcntl.h>
#include <initializer_list>
#include <poll.h>
#include <sys/prctl.h>
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

// Root is held only to map the video memory. A program installed setuid root
// sets it aside before anything else runs (the banner, the switches, the
// sound library with its configuration files and environment): the
// effective id becomes the real one, and root stays only the saved id, taken
// back as the effective id for the mapping alone and given up for good once
// the screen is set up. Started by root itself (sudo), there is nothing to
// set aside. A copy that cannot set its privilege aside does not go on.
static const bool ptc_privilege_set_aside = [] {
    const uid_t real = getuid();
    if (geteuid() == real)
        return false;
    if (seteuid(real) != 0) {
        static const char message[] = "cannot set root privilege aside\n";
        ssize_t written = write(STDERR_FILENO, message, sizeof message - 1);
        (void)written;
        _exit(1);
    }
    return true;
}();

// Whether root can be had: as the effective id, or as the saved one.
static bool root_available() {
    uid_t real, effective, saved;
    return getresuid(&real, &effective, &saved) == 0 && (effective == 0 || saved == 0);
}

// Runs step with root as the effective id, then sets it aside again. False
// when root could not be taken back.
template <typename Step> static bool with_root(Step &&step) {
    const uid_t user = geteuid();
    if (user != 0 && seteuid(0) != 0)
        return false;
    step();
    return user == 0 || seteuid(user) == 0;
}

// Gives up root for good: the real, effective and saved user ids must all be
// the real one afterwards. setuid changes all three only with root as the
// effective id, so root is taken back first; a process whose effective id is
// 0 but which lacks the capability to set ids would otherwise "succeed" in
// changing only its effective id and keep 0 as its saved id, free to take it
// back.
static bool drop_privilege() {
    uid_t user = getuid();
    if (geteuid() != 0 && seteuid(0) != 0)
        return false;
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

// The show's end of the mode guard's pipe: at end of file once the process
// that would restore the mode has gone. -1 without a guard.
static int ptc_guard_alive = -1;
// The show's end of the other pipe, through which the show's own process
// tells the guard its id; open as long as the show lives. -1 without a guard.
static int ptc_show_alive = -1;

// The id the show's own process wrote into show_alive (in one write, so one
// read takes it whole), read to end of file, which comes once every process
// of the show has closed the pipe; -1 when it wrote none.
static pid_t read_show_id(int show_alive) {
    pid_t id = -1, told;
    ssize_t n;
    while ((n = read(show_alive, &told, sizeof told)) != 0) {
        if (n == static_cast<ssize_t>(sizeof told) && id < 0)
            id = told;
        else if (n < 0 && errno != EINTR)
            break;
    }
    return id;
}

// The waiting half of the mode guard: waits for the show to end however it
// ends (close, Escape, a signal, the process between them killed), then
// switches the mode current at open back through a connection of its own,
// and ends with the status of the process it waited for (255 when a signal
// killed it). The mode is switched back only once every process of the show
// has ended, never under a show still running. Never returns.
[[noreturn]] static void wait_and_restore_mode(pid_t show, int show_alive) {
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
    // A process that has closed its files may still be running its exit. The
    // show's own process is reaped here when the process between was killed
    // (this process is their subreaper, so the orphan became its child), or
    // was reaped by that process already (then there is no such child): either
    // way it is gone. Without its id, every child left is waited for.
    const pid_t shown = read_show_id(show_alive);
    pid_t reaped;
    do {
        reaped = waitpid(shown, nullptr, 0);
    } while (reaped >= 0 ? reaped != shown : errno == EINTR);

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
// the show never reaches ptc_close. Two pipes tie the processes together:
// the show learns from one that the guard was killed (and restores the mode
// itself, see ptc_update), the guard from the other that the show is gone.
// 1 in the process that goes on, 0 when no process could be split off.
static int guard_mode() {
    if (ptc_emulate_fullscreen)
        return 1;
    int guard_alive[2], show_alive[2];
    if (pipe2(guard_alive, O_CLOEXEC) != 0)
        return 0;
    if (pipe2(show_alive, O_CLOEXEC) != 0) {
        close(guard_alive[0]);
        close(guard_alive[1]);
        return 0;
    }
    // Orphans of the show (its own process, when the process between is
    // killed) become this process's children, so it can wait for them.
    pid_t show = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0 ? fork() : -1;
    if (show < 0) {
        const int error = errno;
        prctl(PR_SET_CHILD_SUBREAPER, 0);
        for (int fd : {guard_alive[0], guard_alive[1], show_alive[0], show_alive[1]})
            close(fd);
        errno = error;
        return 0;
    }
    if (show > 0) {
        close(guard_alive[0]);
        close(show_alive[1]);
        wait_and_restore_mode(show, show_alive[0]);
    }
    // The write end of show_alive stays open as long as the show lives.
    close(guard_alive[1]);
    close(show_alive[0]);
    ptc_guard_alive = guard_alive[0];
    ptc_show_alive = show_alive[1];
    return 1;
}

// In the show's own process: tells the mode guard which process to wait for.
static void tell_guard_the_show() {
    if (ptc_show_alive < 0)
        return;
    const pid_t id = getpid();
    // Fewer bytes than a pipe's atomic write: all or nothing.
    ssize_t written = write(ptc_show_alive, &id, sizeof id);
    (void)written;
}

// True once the mode guard has gone (killed: it never ends before the show).
static bool guard_gone() {
    if (ptc_guard_alive < 0)
        return false;
    pollfd guard = {ptc_guard_alive, POLLIN, 0};
    return poll(&guard, 1, 0) > 0;
}

// In the show, just split off by the DGA library: the process that waits for
// it must not be killed and leave the show running on alone, so the show
// ends with it. False when it is already gone.
static bool end_with_waiting_process(pid_t waiting) {
    return prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && getppid() == waiting;
}

int ptc_open(const char *, int width, int height) {
    if (!root_available()) {
        // sudo's path may lack the program's: the hint names it as started (the launcher's path).
        ptc_fail_because("%s must be started as root (sudo %s) and needs the XFree86-DGA "
                         "extension, which today's drivers and Xwayland lack; vorbo-window and "
                         "vorbo-desktop need neither",
                         ptc_program_name(), program_invocation_name);
        return 0;
    }

    if (!ptc_open_display())
        return 0;

    if (!XF86DGAQueryExtension(ptc_display, &ptc_event_base, &ptc_error_base)) {
        ptc_fail_because("the X server has no XFree86-DGA extension (today's drivers and Xwayland "
                         "have none); vorbo-desktop shows the show full screen without it");
        return close_display();
    }

    // The video memory is mapped here, the one step that needs root.
    {
        Status mapped = 0;
        if (!with_root([&] {
                mapped = ptc_dga_video.get_video(ptc_display, ptc_screen, &ptc_framebuffer_address,
                                                 &ptc_framebuffer_width, &ptc_framebuffer_banksize,
                                                 &ptc_framebuffer_memory);
            })) {
            ptc_fail_because("cannot take root back to map the video memory");
            return close_display();
        }
        if (!mapped || !ptc_framebuffer_address || ptc_framebuffer_width <= 0) {
            if (!*ptc_failure_reason())
                ptc_fail_because("the video memory could not be mapped");
            return close_display();
        }
    }
    // A banked frame buffer cannot be written in one piece. The two numbers
    // are compared as reported, bytes against kilobytes: a linear buffer's
    // bank is the whole memory, so its byte count is always the larger.
    if (ptc_framebuffer_banksize < ptc_framebuffer_memory) {
        ptc_fail_because("the video memory is banked (%d-byte banks), and cannot be written in "
                         "one piece",
                         ptc_framebuffer_banksize);
        return close_display();
    }

    if (!XF86VidModeQueryExtension(ptc_display, &ptc_event_base, &ptc_error_base)) {
        ptc_fail_because("the X server has no XFree86-VidMode extension");
        return close_display();
    }

    if (!XF86VidModeGetAllModeLines(ptc_display, ptc_screen, &ptc_totalmodes, &ptc_modeinfodata)) {
        ptc_fail_because("the X server gave no list of video modes");
        return close_display();
    }
    if (ptc_totalmodes <= 0 || !ptc_modeinfodata ||
        !XF86VidModeGetModeLine(ptc_display, ptc_screen, &ptc_dotclock, &ptc_currentmodeline)) {
        ptc_fail_because("the X server gave no current video mode");
        return free_modes_and_close_display();
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

    // Only a mode of exactly the frame's size is used; without one the frame
    // is centred in the current mode.
    ptc_emulate_fullscreen = 1;
    for (ptc_modecounter = 0; ptc_modecounter < ptc_totalmodes; ++ptc_modecounter) {
        XF86VidModeModeInfo *mode = ptc_modeinfodata[ptc_modecounter];
        if (mode->hdisplay == width && mode->vdisplay == height) {
            if (!XF86VidModeSwitchToMode(ptc_display, ptc_screen, mode)) {
                ptc_fail_because("the X server refused to switch to %dx%d", width, height);
                return free_modes_and_close_display();
            }
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
        ptc_fail_because("another program holds the keyboard or the pointer");
        release(false);
        return 0;
    }

    if (!drop_privilege()) {
        ptc_fail_because("cannot give up root privilege for good");
        release(false);
        return 0;
    }

    if (!ptc_dga_video.get_viewport_size(ptc_display, ptc_screen, &ptc_screen_width,
                                         &ptc_screen_height)) {
        ptc_fail_because("the X server did not tell the size of the visible screen");
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
        ptc_fail_because("the visible screen (%dx%d, lines of %d pixels in %d bytes of video "
                         "memory) cannot hold the %dx%d frame",
                         ptc_screen_width, ptc_screen_height, ptc_framebuffer_width,
                         ptc_framebuffer_banksize, width, height);
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
        ptc_fail_because("cannot start the process that switches the video mode back: %s",
                         std::strerror(errno));
        release(false);
        return 0;
    }

    const pid_t waiting = getpid();
    if (ptc_dga_video.fork_app(ptc_screen) != 0) {
        ptc_fail_because("the DGA library could not split off the show's process");
        release(true);
        return 0;
    }
    tell_guard_the_show();
    if (!end_with_waiting_process(waiting)) {
        ptc_fail_because("the program ended while the screen was being set up");
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
    // Killed, the process that was started can no longer switch the mode
    // back: the show does it itself and ends as on Escape.
    if (guard_gone()) {
        release(true);
        ptc_cleanup_callback();
        std::exit(0);
    }
    return ptc_finish_update();
}

void ptc_close() {
    release(true);
}
