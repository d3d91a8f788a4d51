// A second X client for the full-screen tests: reads and switches video modes, holds grabs.
#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

int usage() {
    std::fputs(
        "usage: fullscreen-probe mode | modes | switch W H [CLOCK] | grab keyboard|pointer\n",
        stderr);
    return 2;
}

// The mode list, or null with a message.
XF86VidModeModeInfo **mode_list(Display *display, int *count) {
    XF86VidModeModeInfo **modes = nullptr;
    if (!XF86VidModeGetAllModeLines(display, DefaultScreen(display), count, &modes) ||
        *count <= 0) {
        std::fputs("no mode list\n", stderr);
        return nullptr;
    }
    return modes;
}

int print_mode(Display *display) {
    int clock = 0;
    XF86VidModeModeLine line;
    if (!XF86VidModeGetModeLine(display, DefaultScreen(display), &clock, &line)) {
        std::fputs("no mode line\n", stderr);
        return 1;
    }
    if (line.privsize > 0)
        XFree(line.c_private);
    std::printf("%dx%d %d\n", line.hdisplay, line.vdisplay, clock);
    return 0;
}

int print_modes(Display *display) {
    int count = 0;
    XF86VidModeModeInfo **modes = mode_list(display, &count);
    if (!modes)
        return 1;
    for (int i = 0; i < count; ++i)
        std::printf("%d %dx%d %d\n", i, modes[i]->hdisplay, modes[i]->vdisplay,
                    static_cast<int>(modes[i]->dotclock));
    XFree(modes);
    return 0;
}

int switch_mode(Display *display, int width, int height, int clock) {
    int count = 0;
    XF86VidModeModeInfo **modes = mode_list(display, &count);
    if (!modes)
        return 1;
    int result = 1;
    for (int i = 0; i < count; ++i) {
        if (modes[i]->hdisplay == width && modes[i]->vdisplay == height &&
            (clock < 0 || static_cast<int>(modes[i]->dotclock) == clock)) {
            result = XF86VidModeSwitchToMode(display, DefaultScreen(display), modes[i]) ? 0 : 1;
            XSync(display, False);
            break;
        }
    }
    XFree(modes);
    if (result != 0)
        std::fputs("switch failed\n", stderr);
    return result;
}

// Holds a grab on the root window until standard input closes.
int hold_grab(Display *display, bool keyboard) {
    Window root = DefaultRootWindow(display);
    int status =
        keyboard ? XGrabKeyboard(display, root, False, GrabModeAsync, GrabModeAsync, CurrentTime)
                 : XGrabPointer(display, root, False, ButtonPressMask, GrabModeAsync, GrabModeAsync,
                                None, None, CurrentTime);
    if (status != GrabSuccess) {
        std::printf("grab failed %d\n", status);
        return 1;
    }
    XSync(display, False);
    std::puts("grabbed");
    std::fflush(stdout);
    char buffer[64];
    while (read(0, buffer, sizeof buffer) > 0) {
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2)
        return usage();
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fputs("no display\n", stderr);
        return 1;
    }
    int event_base = 0, error_base = 0;
    int result = 2;
    if (!XF86VidModeQueryExtension(display, &event_base, &error_base)) {
        std::fputs("no VidMode\n", stderr);
        result = 1;
    } else if (std::strcmp(argv[1], "mode") == 0) {
        result = print_mode(display);
    } else if (std::strcmp(argv[1], "modes") == 0) {
        result = print_modes(display);
    } else if (std::strcmp(argv[1], "switch") == 0 && argc >= 4) {
        result = switch_mode(display, std::atoi(argv[2]), std::atoi(argv[3]),
                             argc >= 5 ? std::atoi(argv[4]) : -1);
    } else if (std::strcmp(argv[1], "grab") == 0 && argc >= 3) {
        result = hold_grab(display, std::strcmp(argv[2], "keyboard") == 0);
    } else {
        result = usage();
    }
    XCloseDisplay(display);
    return result;
}
