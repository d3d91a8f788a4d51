/* Test helper: prints the X screen saver's state ("on", "off" or "disabled") and the idle time in
 * ms. */
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <stdio.h>

int main(void) {
    Display *display = XOpenDisplay(NULL);
    int event_base, error_base;
    if (!display || !XScreenSaverQueryExtension(display, &event_base, &error_base))
        return 1;
    XScreenSaverInfo *info = XScreenSaverAllocInfo();
    if (!info || !XScreenSaverQueryInfo(display, DefaultRootWindow(display), info))
        return 1;
    const char *state = info->state == ScreenSaverOn    ? "on"
                        : info->state == ScreenSaverOff ? "off"
                                                        : "disabled";
    printf("%s %lu\n", state, info->idle);
    XFree(info);
    XCloseDisplay(display);
    return 0;
}
