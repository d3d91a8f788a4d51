// vorbo-desktop's presenter: picks its back-end at open, and keeps the viewer's commands.
#include "ptc/desktop.h"
#include "ptc/desktop_backend.h"
#include "ptc/failure.h"

#include <X11/keysym.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>

namespace {

// The back-end that opened, from ptc_open to ptc_close.
const ptc_desktop_backend *backend = nullptr;

// Commands not yet taken by the show. A viewer presses a few keys a second;
// a show that stops taking them keeps only the latest few.
std::deque<ptc_command> commands;
constexpr std::size_t max_commands = 16;

} // namespace

// A Wayland compositor where WAYLAND_DISPLAY names one (unset, it forces
// X11, as it does for SDL and GTK programs); X11 otherwise, and where the
// Wayland client cannot open and an X display is named (Xwayland), saying
// why in one line. The reason left for the program is the last back-end's.
int ptc_open(const char *title, int width, int height) {
    commands.clear();
    ptc_forget_failure();
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    const char *x11 = std::getenv("DISPLAY");
    if (wayland && *wayland) {
        if (ptc_desktop_wayland.open(title, width, height)) {
            backend = &ptc_desktop_wayland;
            return 1;
        }
        if (!x11 || !*x11)
            return 0;
        std::fprintf(stderr, "%s: %s; showing through X11 (DISPLAY=%s) instead\n",
                     ptc_program_name(), ptc_failure_reason(), x11);
        ptc_forget_failure();
    }
    if (!ptc_desktop_x11.open(title, width, height))
        return 0;
    backend = &ptc_desktop_x11;
    return 1;
}

int ptc_update(void *frame) {
    return backend->update(frame);
}

int ptc_process_events() {
    return backend->process_events();
}

void ptc_close() {
    backend->close();
    backend = nullptr;
}

bool ptc_wait_for_frame(int timeout_ms) {
    return backend->wait_for_frame(timeout_ms);
}

std::int64_t ptc_next_frame_time() {
    return backend->next_frame_time();
}

ptc_command ptc_take_command() {
    if (commands.empty())
        return ptc_command_none;
    const ptc_command next = commands.front();
    commands.pop_front();
    return next;
}

ptc_key_action ptc_desktop_key(unsigned long keysym) {
    ptc_command command = ptc_command_none;
    switch (keysym) {
    case XK_Escape:
    case XK_q:
        return ptc_key_action::quit;
    case XK_f:
    case XK_F11:
        return ptc_key_action::toggle_window;
    case XK_space:
        command = ptc_command_pause;
        break;
    case XK_Left:
        command = ptc_command_previous;
        break;
    case XK_Right:
        command = ptc_command_next;
        break;
    default:
        return ptc_key_action::none;
    }
    if (commands.size() == max_commands)
        commands.pop_front();
    commands.push_back(command);
    return ptc_key_action::none;
}

std::int64_t ptc_monotonic_ns() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}
