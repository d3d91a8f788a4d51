// The presenter core the X back-ends share: display, pixel layout and converter, row loop, events.
#include "ptc/x11_shared.h"

#include <X11/Xutil.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/ipc.h>
#include <sys/shm.h>

Display *ptc_display;
int ptc_screen;
int ptc_viewport_width, ptc_viewport_height;
int ptc_depth;
Window ptc_root_window;
Visual *ptc_visual;
int ptc_pixmap_format_count;
int ptc_converter_depth;
int ptc_output_pitch;
int ptc_blitcounter;
int ptc_source_index, ptc_destination_index;
Atom ptc_close_atom;
XPixmapFormatValues *ptc_pixmap_formats;
ptc_converter_t ptc_convert;

namespace {

bool x_error_caught;
XErrorHandler handler_before_catch;

} // namespace

void ptc_ignore_broken_pipe() {
    struct sigaction current;
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        std::signal(SIGPIPE, SIG_IGN);
}

int ptc_open_display() {
    ptc_forget_failure();
    ptc_ignore_broken_pipe();
    ptc_display = XOpenDisplay(nullptr);
    if (!ptc_display) {
        const char *name = std::getenv("DISPLAY");
        if (!name || !*name)
            ptc_fail_because(
                "DISPLAY is not set: start %s from a desktop session, or use -nogfx to "
                "draw without showing anything",
                ptc_program_name());
        else
            ptc_fail_because("cannot connect to the X display %s (is the X server running, and "
                             "may this user use it?)",
                             name);
        return 0;
    }

    ptc_screen = DefaultScreen(ptc_display);
    ptc_visual = DefaultVisual(ptc_display, ptc_screen);
    ptc_depth = DefaultDepth(ptc_display, ptc_screen);

    ptc_converter_depth = 0;
    ptc_pixmap_formats = XListPixmapFormats(ptc_display, &ptc_pixmap_format_count);
    for (int i = 0; ptc_pixmap_formats && i < ptc_pixmap_format_count; ++i)
        if (ptc_pixmap_formats[i].depth == ptc_depth)
            ptc_converter_depth = ptc_pixmap_formats[i].bits_per_pixel;
    if (ptc_pixmap_formats)
        XFree(ptc_pixmap_formats);
    ptc_pixmap_formats = nullptr;

    ptc_convert = ptc_request_converter(ptc_converter_depth, ptc_visual->red_mask,
                                        ptc_visual->green_mask, ptc_visual->blue_mask);
    if (!ptc_convert) {
        ptc_fail_because("the display's default visual is depth %d, %d bits per pixel, masks red "
                         "%#lx green %#lx blue %#lx; supported are 16 bits per pixel (5-6-5 or "
                         "5-5-5), and 24 or 32 bits per pixel with 8 bits a colour (depth 15, 16 "
                         "or 24)",
                         ptc_depth, ptc_converter_depth, ptc_visual->red_mask,
                         ptc_visual->green_mask, ptc_visual->blue_mask);
        ptc_close_display();
        return 0;
    }
    // 16 -> 2, 24 -> 3, 32 -> 4: the only sizes a converter exists for.
    ptc_output_pitch = ptc_converter_depth / 8;
    return 1;
}

void ptc_close_display() {
    XCloseDisplay(ptc_display);
    ptc_display = nullptr;
}

void ptc_catch_x_errors(Display *display) {
    XSync(display, False);
    x_error_caught = false;
    handler_before_catch = XSetErrorHandler([](Display *, XErrorEvent *) {
        x_error_caught = true;
        return 0;
    });
}

bool ptc_x_errors_caught(Display *display) {
    XSync(display, False);
    XSetErrorHandler(handler_before_catch);
    return x_error_caught;
}

namespace {

// Detaches and removes the segment of an image that the server never attached.
void release_unattached_image(XImage *image, XShmSegmentInfo &segment) {
    if (segment.shmaddr && segment.shmaddr != reinterpret_cast<char *>(-1))
        shmdt(segment.shmaddr);
    if (segment.shmid >= 0)
        shmctl(segment.shmid, IPC_RMID, nullptr);
    image->data = nullptr;
    XDestroyImage(image);
    segment = XShmSegmentInfo();
}

} // namespace

int ptc_open_shared_memory_display() {
    if (!ptc_open_display())
        return 0;
    if (XShmQueryExtension(ptc_display))
        return 1;
    ptc_fail_because("the display has no MIT-SHM extension (a remote display over ssh has none); "
                     "run %s on the machine whose screen shows it",
                     ptc_program_name());
    ptc_close_display();
    return 0;
}

XImage *ptc_create_shared_image(int width, int height, XShmSegmentInfo &segment) {
    segment = XShmSegmentInfo();
    segment.shmid = -1;
    XImage *image = XShmCreateImage(ptc_display, ptc_visual, ptc_depth, ZPixmap, nullptr, &segment,
                                    width, height);
    if (!image) {
        ptc_fail_because("no memory for the %dx%d image", width, height);
        return nullptr;
    }

    // Readable and writable by this user only: the frame is nobody else's.
    segment.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * image->height,
                           IPC_CREAT | 0600);
    if (segment.shmid < 0) {
        ptc_fail_because("no shared memory for the %dx%d image: %s", width, height,
                         std::strerror(errno));
        release_unattached_image(image, segment);
        return nullptr;
    }
    segment.shmaddr = static_cast<char *>(shmat(segment.shmid, nullptr, 0));
    if (segment.shmaddr == reinterpret_cast<char *>(-1)) {
        ptc_fail_because("cannot attach shared memory: %s", std::strerror(errno));
        release_unattached_image(image, segment);
        return nullptr;
    }
    image->data = segment.shmaddr;
    segment.readOnly = False;

    // A server that cannot reach this machine's memory (a remote display
    // that still lists MIT-SHM) refuses the attach with an error, which
    // would otherwise end the process through Xlib's default handler.
    ptc_catch_x_errors(ptc_display);
    const bool attached = XShmAttach(ptc_display, &segment);
    const bool refused = ptc_x_errors_caught(ptc_display);
    if (!attached || refused) {
        ptc_fail_because("the X server cannot share memory with this program (a remote display, "
                         "as over ssh, cannot)");
        release_unattached_image(image, segment);
        return nullptr;
    }
    // Mark the segment for removal at once: it then goes away with the last
    // detach, even when the process ends by Escape, a crash or kill -9
    // without reaching ptc_close. Linux still lets the server attach a
    // segment so marked while this process keeps it attached.
    shmctl(segment.shmid, IPC_RMID, nullptr);
    return image;
}

void ptc_destroy_shared_image(XImage *image, XShmSegmentInfo &segment) {
    XShmDetach(ptc_display, &segment);
    XDestroyImage(image);
    shmdt(segment.shmaddr);
    // Already marked for removal when it was made; removing again is harmless.
    shmctl(segment.shmid, IPC_RMID, nullptr);
}

void ptc_convert_frame(void *frame, char *destination, int destination_pitch) {
    char *source = static_cast<char *>(frame);
    ptc_source_index = 0;
    ptc_destination_index = 0;
    for (ptc_blitcounter = 0; ptc_blitcounter < ptc_viewport_height; ++ptc_blitcounter) {
        ptc_convert(source + ptc_source_index, destination + ptc_destination_index,
                    ptc_viewport_width);
        ptc_source_index += ptc_viewport_width * 4;
        ptc_destination_index += destination_pitch;
    }
}
