// The mode guard: the started process waits for the show, however it ends, and restores the mode.
#include "ptc/mode_guard.h"
#include "ptc/x11_shared.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

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
[[noreturn]] static void wait_and_restore_mode(pid_t show, int show_alive,
                                               XF86VidModeModeInfo *previous) {
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
        XF86VidModeSwitchToMode(display, ptc_screen, previous);
        XCloseDisplay(display);
    }
    _exit(ended < 0 ? 1 : WIFEXITED(status) ? WEXITSTATUS(status) : 255);
}

int ptc_guard_mode(XF86VidModeModeInfo *previous) {
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
        wait_and_restore_mode(show, show_alive[0], previous);
    }
    // The write end of show_alive stays open as long as the show lives.
    close(guard_alive[1]);
    close(show_alive[0]);
    ptc_guard_alive = guard_alive[0];
    ptc_show_alive = show_alive[1];
    return 1;
}

void ptc_tell_guard_the_show() {
    if (ptc_show_alive < 0)
        return;
    const pid_t id = getpid();
    // Fewer bytes than a pipe's atomic write: all or nothing.
    ssize_t written = write(ptc_show_alive, &id, sizeof id);
    (void)written;
}

bool ptc_guard_gone() {
    if (ptc_guard_alive < 0)
        return false;
    pollfd guard = {ptc_guard_alive, POLLIN, 0};
    return poll(&guard, 1, 0) > 0;
}
